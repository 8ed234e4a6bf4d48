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
    QString openFileName() override {
        ++fileDialogs;
        return fileName;
    }

    QStringList errors;
    QStringList messages;
    QStringList warnings;
    QStringList questions;
    std::deque<bool> answers; // OK is true; an empty script answers OK
    QString fileName;         // what the file dialog returns; empty is Cancel
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
