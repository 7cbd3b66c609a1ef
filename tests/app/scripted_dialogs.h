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

    std::deque<std::optional<QString>> filesToOpen;
    std::deque<std::optional<QString>> filesToSave;
    std::deque<SaveAnswer> saveAnswers;

    std::vector<Alert> alerts;
    QStringList savePromptDocuments;
    QStringList proposedSavePaths;

    bool confirm(const QString &question) override { return unexpected(false, "confirm: " + question); }
    void alert(const QString &title, const QString &message) override { alerts.push_back({title, message}); }
    std::optional<QString> askText(const QString &title, const QString &, const QString &) override
    {
        return unexpected(std::optional<QString>(), "askText: " + title);
    }
    std::optional<QString> fileToOpen(const QString &) override { return next(filesToOpen, {}, "fileToOpen"); }
    std::optional<QString> fileToSave(const QString &, const QString &proposedPath) override
    {
        proposedSavePaths.append(proposedPath);
        return next(filesToSave, {}, "fileToSave");
    }
    SaveAnswer askToSave(const QString &, const QString &documentName) override
    {
        savePromptDocuments.append(documentName);
        return next(saveAnswers, SaveAnswer::cancel, "askToSave: " + documentName);
    }

    bool exhausted() const { return filesToOpen.empty() && filesToSave.empty() && saveAnswers.empty(); }

private:
    template <typename T>
    static T unexpected(T fallback, const QString &question)
    {
        ADD_FAILURE() << "Unexpected dialog: " << question.toStdString();
        return fallback;
    }
    template <typename T>
    static T next(std::deque<T> &answers, T fallback, const QString &question)
    {
        if (answers.empty()) {
            ADD_FAILURE() << "Unexpected dialog: " << question.toStdString();
            return fallback;
        }
        T answer = std::move(answers.front());
        answers.pop_front();
        return answer;
    }
};
