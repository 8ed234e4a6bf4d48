// A writer killed mid-way (SIGKILL, as a crash or a power cut of the program
// alone leaves it) loses no committed batch: the file passes SQLite's
// integrity check, and a copy of db.mdb alone holds every committed batch.
#include "PhonebookFile.h"
#include "phonebook/PhonebookDatabase.h"

#include <QProcess>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

constexpr int kBatch = 250;
constexpr int kBound = 20000; // ms to wait for the writer's next line

struct KillCase {
    const char* name;
    int leftOpen;     // the batch the writer fills and leaves uncommitted; 0: it runs on
    const char* when; // the line after which it is killed
};

void PrintTo(const KillCase& tested, std::ostream* out) {
    *out << tested.name;
}

int lastCommitted(const QByteArray& output) {
    int batches = 0;
    const QRegularExpression committed(QStringLiteral("committed (\\d+)"));
    auto found = committed.globalMatch(QString::fromUtf8(output));
    while (found.hasNext()) {
        batches = found.next().captured(1).toInt();
    }
    return batches;
}

class KilledWriterTest : public ::testing::TestWithParam<KillCase> {};

TEST_P(KilledWriterTest, KeepsEveryCommittedBatchInTheFileAlone) {
    const KillCase& kill = GetParam();
    PhonebookFile file;
    QProcess writer;
    QStringList arguments{file.path(), QString::number(kBatch)};
    if (kill.leftOpen > 0) {
        arguments << QString::number(kill.leftOpen);
    }
    writer.start(QStringLiteral(PHONEBOOK_WRITER_PROGRAM), arguments);
    ASSERT_TRUE(writer.waitForStarted(kBound));
    QByteArray output;
    while (!output.contains(kill.when)) {
        ASSERT_TRUE(writer.waitForReadyRead(kBound))
            << output.constData() << writer.readAllStandardError().constData();
        output += writer.readAllStandardOutput();
    }
    writer.kill();
    ASSERT_TRUE(writer.waitForFinished(kBound));
    EXPECT_EQ(writer.exitStatus(), QProcess::CrashExit);
    output += writer.readAllStandardOutput();
    const int committed = lastCommitted(output) * kBatch;

    if (kill.leftOpen > 0) {
        // Nothing was being committed: the file as the kill left it is whole.
        const Backup asLeft = backupOf(file.path());
        EXPECT_EQ(asLeft.integrity, "ok");
        EXPECT_EQ(asLeft.rows, committed);
    }
    // The next start: a journal the kill left is rolled back.
    PhonebookDatabase conn;
    conn.open(file.path());
    const int rows = static_cast<int>(conn.select().size());
    EXPECT_EQ(file.scalar("pragma integrity_check"), "ok");
    EXPECT_EQ(rows % kBatch, 0) << "whole batches only";
    EXPECT_GE(rows, committed);
    EXPECT_LE(rows, committed + kBatch) << "at most the batch whose commit was not reported yet";
    const Backup backup = backupOf(file.path());
    EXPECT_EQ(backup.integrity, "ok");
    EXPECT_EQ(backup.rows, rows);
}

INSTANTIATE_TEST_SUITE_P(Writer, KilledWriterTest,
                         ::testing::Values(KillCase{"InAnOpenBatch", 4, "open"},
                                           KillCase{"WhileItWrites", 0, "committed 3\n"}),
                         [](const ::testing::TestParamInfo<KillCase>& param) {
                             return std::string(param.param.name);
                         });

} // namespace
