#pragma once

// One message in PDU mode on its way to the phone: its parts one after the other, each handed over
// once the phone has confirmed the one before ("+CMGS: <reference>"). The message is sent when every
// part is; a part the phone refuses, does not answer, or never takes ends it there, and the log says
// which part and why ("2. parça: +CMS ERROR: 500").

#include "PhoneLine.h"
#include "SendRun.h"
#include "sms/SmsSubmit.h"

#include <QString>
#include <optional>
#include <vector>

class OutgoingMessage {
public:
    // How a message ended, as its log row says it.
    struct Ended {
        SendRun::Outcome outcome;
        QString sonuc;
        QString teslim; // "bekliyor" for a message sent with a delivery report asked for
    };

    // `row` is the message's row in the send log.
    OutgoingMessage(qint64 row, SmsSubmission submission, bool reports);

    qint64 row() const { return m_row; }
    int parts() const { return static_cast<int>(m_submission.parts.size()); }
    // The part to hand over now, 1 for the first.
    int part() const { return m_part; }
    const SmsPart& current() const { return m_submission.parts[static_cast<std::size_t>(m_part - 1)]; }
    // The references the phone gave the parts confirmed so far.
    const std::vector<int>& references() const { return m_references; }

    // The phone's answer to the current part: none when the next part is to go now, otherwise how the
    // message ended.
    std::optional<Ended> answered(const PhoneLine::Answer& answer);
    // The current part never reached the phone's text entry (no prompt, a refused write).
    Ended failed(const QString& reason) const;

    // A late answer to part `part` of `parts`, the message having ended unanswered: sent only when
    // it is the last part's confirmation; the parts after an earlier one never went.
    static Ended lateAnswer(const PhoneLine::Answer& answer, int part, int parts, bool reports);
    // How a text-mode message ended.
    static Ended textMode(const PhoneLine::Answer& answer);

private:
    qint64 m_row;
    SmsSubmission m_submission;
    bool m_reports;
    int m_part = 1;
    std::vector<int> m_references;
};
