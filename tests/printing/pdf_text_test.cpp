#include "printing_test_support.h"

#include "pdf_pages.h"
#include "printing/chart_pdf_renderer.h"

#include <gtest/gtest.h>

// A reader finds the words of a card by searching: letters that the font would join (ffi,
// fi, fl) are stored as letters, not as one ligature character.
TEST(PdfText, LettersAreNotStoredAsLigatures)
{
    Organization school;
    school.positions.push_back(testPosition("A", "Chief Financial Officer", "Jeff Affleck"));
    school.positions.back().department = "Office of Staff Affairs";
    const QByteArray pdf = ChartPDFRenderer::render(school, "Office Staff", "Scope", ChartPrintSettings{}, {});

    const QSet<char16_t> characters = textLayerCharacters(pdf);
    ASSERT_TRUE(characters.contains(u'O'));
    for (char16_t ligature = 0xFB00; ligature <= 0xFB06; ++ligature)
        EXPECT_FALSE(characters.contains(ligature)) << std::hex << int(ligature);
    for (const char16_t letter : {u'f', u'i', u'l'})
        EXPECT_TRUE(characters.contains(letter)) << char(letter);
    const QString text = pageTexts(pdf).join(' ');
    for (const char *word : {"Office", "Affleck", "Financial", "Affairs"})
        EXPECT_TRUE(text.contains(word)) << word << " in " << text.toStdString();
}
