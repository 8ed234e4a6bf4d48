#pragma once

// The message as typed into memo1 and as it goes to the phone.

#include <QString>
#include <string>

class QPlainTextEdit;

// Length of the message as the phone receives it: one per character, each line break two (CR LF).
// "abc\ndef" gives 8, an empty text 0.
int messageLength(const QString& memoText);

// Replaces the twelve Turkish letters outside plain Latin by plain letters, row by row in the fixed
// order, capitals first. memo1 is written back only after a row that changed something, so a text
// without those letters never raises textChanged.
void foldTurkishLetters(QPlainTextEdit& memo1);
// The same letters folded in a text of its own (a campaign's stored text resumed in text mode).
QString foldedTurkishLetters(QString text);

// The text as it goes to the phone: every line break as "\r\n", the rest in code page 1254.
// The three characters that would end the text entry at the phone early (zero, Ctrl-Z, escape) go
// out as '?', so nothing of the text can be taken for a command or leave the entry open.
std::string messageBytes(const QString& memoText);
