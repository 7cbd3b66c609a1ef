#pragma once

#include "app/shell/dialogs.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <deque>
#include <utility>
#include <vector>

// Canned answers for controller tests. A question with no answer left fails the test and
// gets the cautious answer (no, cancel), so an unexpected dialog never passes unnoticed.
class ScriptedDialogs final : public Dialogs {
public:
    struct Alert {
        QString title;
        QString message;
    };
    struct Question {
        QString title;
        QString message;
        QStringList buttons;
        // The button Return would press; empty for questions without one.
        QString defaultButton;
    };

    std::deque<std::optional<QString>> filesToOpen;
    std::deque<std::optional<QString>> filesToSave;
    std::deque<SaveAnswer> saveAnswers;
    std::deque<bool> confirmations;
    // For ask(): the title of the button to press.
    std::deque<QString> choices;
    std::deque<std::optional<QString>> texts;
    std::deque<std::optional<QString>> folders;

    std::vector<Alert> alerts;
    QStringList savePromptTitles;
    QStringList savePromptDocuments;
    QStringList proposedSavePaths;
    QStringList unconfirmedSavePaths;
    QStringList confirmQuestions;
    std::vector<Question> questions;

    bool confirm(const QString &question) override
    {
        confirmQuestions.append(question);
        return next(confirmations, false, "confirm: " + question);
    }
    void alert(const QString &title, const QString &message) override { alerts.push_back({title, message}); }
    std::optional<QString> askText(const QString &title, const QString &, const QString &) override
    {
        return next(texts, {}, "askText: " + title);
    }
    // Recorded with the action button as the question's one button.
    std::optional<QString> askTextWithMessage(const QString &title, const QString &message, const QString &,
                                              const QString &, const QString &button) override
    {
        questions.push_back({title, message, {button}, {}});
        return next(texts, {}, "askTextWithMessage: " + title);
    }
    std::optional<QString> folderToChoose(const QString &title, const QString &prompt, const QString &button) override
    {
        questions.push_back({title, prompt, {button}, {}});
        return next(folders, {}, "folderToChoose: " + title);
    }
    int ask(const QString &title, const QString &message, const QList<DialogButton> &buttons,
            DialogButton::Role defaultRole) override
    {
        Question question{title, message, {}, {}};
        int cancel = int(buttons.size()) - 1;
        for (int i = 0; i < buttons.size(); ++i) {
            question.buttons.append(buttons[i].title);
            if (buttons[i].role == DialogButton::Role::cancel)
                cancel = i;
            if (question.defaultButton.isEmpty() && buttons[i].role == defaultRole)
                question.defaultButton = buttons[i].title;
        }
        if (defaultRole == DialogButton::Role::destructive || question.defaultButton.isEmpty())
            ADD_FAILURE() << "No safe default button in " << title.toStdString();
        questions.push_back(question);
        const QString choice = next(choices, QString(), "ask: " + title);
        const int index = int(question.buttons.indexOf(choice));
        if (index < 0 && !choice.isEmpty())
            ADD_FAILURE() << "No button " << choice.toStdString() << " in " << title.toStdString();
        return index >= 0 ? index : cancel;
    }
    std::optional<QString> fileToOpen(const QString &) override { return next(filesToOpen, {}, "fileToOpen"); }
    std::optional<QString> fileToSave(const QString &, const QString &proposedPath) override
    {
        proposedSavePaths.append(proposedPath);
        return next(filesToSave, {}, "fileToSave");
    }
    // Recorded as a panel that left the replace question to its caller.
    std::optional<QString> fileToSaveUnconfirmed(const QString &, const QString &proposedPath) override
    {
        proposedSavePaths.append(proposedPath);
        unconfirmedSavePaths.append(proposedPath);
        return next(filesToSave, {}, "fileToSaveUnconfirmed");
    }
    // Recorded as a question (title and message) besides the proposed path.
    std::optional<QString> fileToSaveWithMessage(const QString &title, const QString &message, const QString &,
                                                 const QString &proposedPath) override
    {
        questions.push_back({title, message, {}, {}});
        proposedSavePaths.append(proposedPath);
        return next(filesToSave, {}, "fileToSaveWithMessage: " + title);
    }
    SaveAnswer askToSave(const QString &title, const QString &documentName) override
    {
        savePromptTitles.append(title);
        savePromptDocuments.append(documentName);
        return next(saveAnswers, SaveAnswer::cancel, "askToSave: " + documentName);
    }

    bool exhausted() const
    {
        return filesToOpen.empty() && filesToSave.empty() && saveAnswers.empty() && confirmations.empty()
            && choices.empty() && texts.empty() && folders.empty();
    }

private:
    template <typename T>
    static T next(std::deque<T> &answers, T fallback, const QString &question)
    {
        if (answers.empty()) {
            ADD_FAILURE() << "Unexpected dialog: " << question.toStdString();
            return fallback;
        }
        // Swapped out rather than moved: GCC 12 takes a moved-from optional<QString> for uninitialized.
        std::swap(fallback, answers.front());
        answers.pop_front();
        return fallback;
    }
};
