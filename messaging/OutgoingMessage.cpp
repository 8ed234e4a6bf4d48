#include "OutgoingMessage.h"

#include "CodePage1254.h"
#include "DeliveryReports.h"

#include <QStringList>
#include <utility>

namespace {

const QString noAnswer = QStringLiteral("yanıt yok");

// "+CMGS: 12" -> 12; -1 when the line names none.
int referenceOf(const std::string& line) {
    const std::size_t colon = line.find(':');
    try {
        return colon == std::string::npos ? -1 : std::stoi(line.substr(colon + 1));
    } catch (const std::exception&) {
        return -1;
    }
}

// "2. parça: +CMS ERROR: 500" for a message of several parts; the reason alone for one of one.
QString aboutPart(int part, int parts, const QString& why) {
    return parts > 1 ? QStringLiteral("%1. parça: %2").arg(part).arg(why) : why;
}

} // namespace

OutgoingMessage::OutgoingMessage(qint64 row, SmsSubmission submission, bool reports)
    : m_row(row), m_submission(std::move(submission)), m_reports(reports) {}

std::optional<OutgoingMessage::Ended> OutgoingMessage::answered(const PhoneLine::Answer& answer) {
    switch (answer.result) {
    case PhoneLine::Result::Refused:
        return Ended{SendRun::Outcome::Failed, aboutPart(m_part, parts(), fromCp1254(answer.line)), {}};
    case PhoneLine::Result::Unanswered:
        return Ended{SendRun::Outcome::Unknown, aboutPart(m_part, parts(), noAnswer), {}};
    case PhoneLine::Result::Confirmed:
        break;
    }
    m_references.push_back(referenceOf(answer.line));
    if (m_part < parts()) {
        ++m_part;
        return std::nullopt;
    }
    QStringList confirmations;
    for (const int reference : m_references) {
        confirmations << QString::number(reference);
    }
    return Ended{SendRun::Outcome::Sent, QStringLiteral("+CMGS: ") + confirmations.join(QStringLiteral(", ")),
                 m_reports ? DeliveryReports::Pending : QString()};
}

OutgoingMessage::Ended OutgoingMessage::failed(const QString& reason) const {
    return {SendRun::Outcome::Failed, aboutPart(m_part, parts(), reason), {}};
}

OutgoingMessage::Ended OutgoingMessage::lateAnswer(const PhoneLine::Answer& answer, int part, int parts,
                                                   bool reports) {
    const QString line = fromCp1254(answer.line);
    if (answer.result != PhoneLine::Result::Confirmed) {
        return {SendRun::Outcome::Failed, aboutPart(part, parts, line), {}};
    }
    if (part == parts) {
        return {SendRun::Outcome::Sent, line, reports ? DeliveryReports::Pending : QString()};
    }
    return {SendRun::Outcome::Failed,
            aboutPart(part, parts, line + QStringLiteral(" geç geldi; sonraki parçalar gönderilmedi")),
            {}};
}

OutgoingMessage::Ended OutgoingMessage::textMode(const PhoneLine::Answer& answer) {
    switch (answer.result) {
    case PhoneLine::Result::Confirmed:
        return {SendRun::Outcome::Sent, fromCp1254(answer.line), {}};
    case PhoneLine::Result::Refused:
        return {SendRun::Outcome::Failed, fromCp1254(answer.line), {}};
    case PhoneLine::Result::Unanswered:
        break;
    }
    return {SendRun::Outcome::Unknown, noAnswer, {}};
}
