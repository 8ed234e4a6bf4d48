#pragma once

#include <QSqlDatabase>
#include <QString>
#include <functional>

class PhonebookDatabase;

// Where the send log is written: into the phone book itself, or, when the book cannot be written
// (a write-protected or shared folder), into gonderim.db in the user's data folder, the same table.
// The first time the separate file is used the user is told where it lies.
class SendLogFile {
public:
    SendLogFile(const PhonebookDatabase& book, QString dataFolder, std::function<void(const QString&)> tell);
    ~SendLogFile();
    SendLogFile(const SendLogFile&) = delete;
    SendLogFile& operator=(const SendLogFile&) = delete;

    QSqlDatabase connection();
    // Whether the log has a file yet: the book itself, or a separate file made earlier.
    bool exists() const;

private:
    QString separateFile() const;

    const PhonebookDatabase& book_;
    QString dataFolder_;
    std::function<void(const QString&)> tell_;
    QString connectionName_; // of the separate file, once opened
};
