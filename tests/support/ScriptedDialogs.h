#pragma once

#include "app/UserDialogs.h"

#include <QStringList>
#include <deque>

// Message boxes and the file dialog for offscreen tests: records what the
// program showed and answers as scripted. Installed while it lives.
class ScriptedDialogs : public UserDialogs {
public:
    ScriptedDialogs() { UserDialogs::install(this); }
    ~ScriptedDialogs() override { UserDialogs::install(nullptr); }
    ScriptedDialogs(const ScriptedDialogs&) = delete;
    ScriptedDialogs& operator=(const ScriptedDialogs&) = delete;

    void showError(const QString& text) override { errors << text; }
    void showMessage(const QString& text) override { messages << text; }
    bool confirmWarning(const QString& text) override {
        warnings << text;
        return next();
    }
    bool confirmQuestion(const QString& text) override {
        questions << text;
        return next();
    }
    int ask(const QString& text, const QStringList& buttons) override {
        asked << text + QStringLiteral(" [") + buttons.join(u'/') + QStringLiteral("]");
        if (choices.empty()) {
            return 0;
        }
        const int choice = choices.front();
        choices.pop_front();
        return choice;
    }
    QString saveFileName(const QString& suggested, const QString& /*filter*/) override {
        suggestedSaveNames << suggested;
        return saveName;
    }
    QString openFileName() override {
        ++fileDialogs;
        return fileName;
    }

    QStringList errors;
    QStringList messages;
    QStringList warnings;
    QStringList questions;
    std::deque<bool> answers; // OK is true; an empty script answers OK
    QStringList asked;        // "<text> [Gönder/Vazgeç]"
    std::deque<int> choices;  // the button chosen by index; an empty script takes the default
    QStringList suggestedSaveNames;
    QString saveName; // what the save dialog returns; empty is Cancel
    QString fileName; // what the file dialog returns; empty is Cancel
    int fileDialogs = 0;

private:
    bool next() {
        if (answers.empty()) {
            return true;
        }
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
};
