#pragma once

// The campaigns: one row in table kampanya for each bulk send the user starts, and its recipients in
// table kampanya_alici, written before its first message goes out. With the send log's rows (their
// columns kampanya and numara) they tell who has had the text and who is still to have it, across
// "Durdur", a closed window, a crash or a power cut.
//
//   kampanya        id, baslangic (ISO 8601 local time), mesaj (the text as sent), toplam,
//                   durum ("sürüyor", "durduruldu", "bitti")
//   kampanya_alici  kampanya, sira (1, 2, ... in the order sent), numara (the contact's id),
//                   adsoyad, telefon (as stored)
//
// A recipient's state is that of its latest message in the campaign.

#include "SendLog.h"
#include "SendRun.h"

#include <QDateTime>
#include <QString>
#include <optional>
#include <vector>

class CampaignStore {
public:
    enum class Durum { Suruyor, Durduruldu, Bitti };

    struct Campaign {
        qint64 id = 0;
        QDateTime baslangic;
        QString mesaj;
        int toplam = 0;
        Durum durum = Durum::Suruyor;
    };
    // Recipients by their latest message: sent, failed, unknown (no answer), and waiting (none yet,
    // or one still with the phone).
    struct Counts {
        int sent = 0;
        int failed = 0;
        int unknown = 0;
        int waiting = 0;
        int total = 0;
        int delivered = 0; // of the sent ones, those a delivery report says reached the handset
    };
    // A recipient and its latest message; empty durum when it has none yet.
    struct Message {
        Recipient recipient;
        QString telefon; // as dialled, or as stored before a message went
        QString durum;
        QString sonuc;
        QString zaman;
        QString mesaj;         // the text as it went; empty before
        QString teslim;        // "teslim edildi", "teslim edilemedi", "bekliyor"; empty without a report
        bool everSent = false; // a message of the campaign reached it, whatever came after
    };
    struct Summary {
        Campaign campaign;
        Counts counts;
    };

    // Reaches the file through the send log, whose table the campaign's rows refer to.
    explicit CampaignStore(SendLog& log) : m_log(log) {}

    // Writes the campaign and its recipients in one transaction; returns its id. Throws SendLogError.
    qint64 start(const QString& mesaj, const std::vector<Recipient>& recipients);
    void setDurum(qint64 id, Durum durum);
    // The newest campaign, if any.
    std::optional<Campaign> latest();
    std::optional<Campaign> campaign(qint64 id);

    std::vector<Message> messages(qint64 id);
    Counts counts(qint64 id);
    // Recipients that have not had the text: none of its messages reached them, and none is with the
    // phone. One whose latest message is "belirsiz" only when asked for: it may have arrived.
    std::vector<Recipient> remaining(qint64 id, bool withUnknown);
    // Recipients whose latest message failed, and the "belirsiz" ones when asked for.
    std::vector<Recipient> failed(qint64 id, bool withUnknown);

    // Every campaign, newest first; or the one with this id.
    std::vector<Summary> summaries(std::optional<qint64> id = std::nullopt);
    // The single sends, newest first, and their counts.
    std::vector<Message> singleSends();
    Counts singleSendCounts();

    static QString text(Durum durum); // "sürüyor", "durduruldu", "bitti"

private:
    QSqlDatabase database();
    static Counts countsOf(const std::vector<Message>& messages);

    SendLog& m_log;
    bool m_tablesReady = false;
};
