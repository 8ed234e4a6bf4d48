#pragma once

// Delivery reports: the phone's "+CDS:" status reports, matched to the part they are about and
// written into the send log. Each part sent with a report asked for is kept in table gonderim_parca
// with the message reference the phone gave it in "+CMGS:", so a report that comes hours later, or
// after the program was restarted, still finds its message.
//
//   gonderim_parca  gonderim (the send log's row), parca (1, 2, ...), referans (0-255, as the phone
//                   gave it), teslim, teslim_zamani
//
// A report names the part by its reference and the number; references run round after 255, so the
// newest part with both is taken. A message is "teslim edildi" once every part is, "teslim edilemedi"
// as soon as one part is given up, "bekliyor" meanwhile.

#include "SendLog.h"
#include "sms/StatusReport.h"

#include <QString>
#include <optional>

class DeliveryReports {
public:
    static const QString Delivered; // "teslim edildi"
    static const QString Failed;    // "teslim edilemedi"
    static const QString Pending;   // "bekliyor"

    // What a report changed: the message, its state now, and the campaign it belongs to.
    struct Settled {
        qint64 message = 0;
        QString teslim;
        std::optional<qint64> kampanya;
        bool newlyDelivered = false; // the report made the whole message delivered
    };

    explicit DeliveryReports(SendLog& log) : m_log(log) {}

    // Part `part` of the send log's row `message` went out, and the phone gave it `reference`.
    // Throws SendLogError.
    void partSent(qint64 message, int part, int reference);
    // The report's part, found and settled; none when no part of ours matches. Throws SendLogError.
    std::optional<Settled> take(const StatusReport& report);

    static QString text(DeliveryState state);

private:
    QSqlDatabase database();

    SendLog& m_log;
    bool m_tableReady = false;
};
