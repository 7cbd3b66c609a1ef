#pragma once

#include <QString>

// Names of files made from text the user typed (a chart, a proposal, an organization). A
// name on the disk holds at most 255 bytes of UTF-8; a longer one cannot be saved.
namespace FileNames {

inline constexpr qsizetype maximumBytes = 255;

// The longest start of `text` made of whole user-perceived characters that fits in
// `maxBytes` bytes of UTF-8: an accent or an emoji is never split.
QString cutToBytes(const QString &text, qsizetype maxBytes);

// `base` followed by `suffix` (an extension, or words and an extension), the base cut as
// cutToBytes does so that the whole name fits on the disk. The suffix is kept whole.
QString fitted(const QString &base, const QString &suffix);

} // namespace FileNames
