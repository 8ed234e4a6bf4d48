#include "SendingWorkflow.h"

#include "CodePage1254.h"
#include "MessageText.h"
#include "PhoneNumber.h"
#include "sms/SmsCounter.h"

#include <QCheckBox>
#include <QColor>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QThread>
#include <set>
#include <utility>

const QString SendingWorkflow::NoConnection = QStringLiteral("Durum: Bağlantı Yok");
const QString SendingWorkflow::Connected = QStringLiteral("Durum: Bağlandı");
const QString SendingWorkflow::Ready = QStringLiteral("Hazır");
const QString SendingWorkflow::Going = QStringLiteral("Gidiyor");

namespace {

const QString refusal = QStringLiteral("Telefon bağlantısı yapılamadı");
const QString ringLine = QStringLiteral("çaldı");
const QString noAnswer = QStringLiteral("yanıt yok");
const QString notSent = QStringLiteral("Mesaj gönderilemedi: ");
const QString unknownFate = QStringLiteral("Telefon yanıt vermedi: mesajın gidip gitmediği belli değil");
const QString emptyText = QStringLiteral("Mesaj boş");
const QString runGoing = QStringLiteral("Toplu gönderim sürüyor");
const QString phoneBusy = QStringLiteral("Telefon yanıt vermiyor; biraz sonra yeniden deneyin");
const QString nobodyLeft = QStringLiteral("Gönderilecek kimse yok");
const QString noReports = QStringLiteral("Telefon teslim raporu vermiyor (AT+CNMI reddedildi)");

const std::string probeCommand = "AT\r";
const std::string textModeCommand = "AT+CMGF=1\r";
const std::string pduModeCommand = "AT+CMGF=0\r";
// New messages stay with the phone; a status report comes at once as "+CDS:".
const std::string reportsCommand = "AT+CNMI=2,1,0,1,0\r";

constexpr int LineCheckInterval = 250; // ms
constexpr int LogRetryInterval = 1000; // ms

void paint(QLabel& label, const QColor& background, const QColor& text) {
    label.setAutoFillBackground(true);
    QPalette palette = label.palette();
    palette.setColor(QPalette::Window, background);
    palette.setColor(QPalette::WindowText, text);
    label.setPalette(palette);
}

// The text colour the label had before any fill: its parent's.
QColor windowTextOf(const QLabel& label) {
    const QWidget* parent = label.parentWidget();
    return (parent != nullptr ? parent->palette() : QPalette()).color(QPalette::WindowText);
}

// The same number as dialled once: the first contact that has it. A number that is none stays,
// to fail in the log with its reason.
std::vector<Recipient> distinctNumbers(std::vector<Recipient> recipients) {
    std::set<QString> dialled;
    std::erase_if(recipients, [&dialled](const Recipient& recipient) {
        const DialNumber number = dialNumber(recipient.telefon);
        return number.valid() && !dialled.insert(number.number).second;
    });
    return recipients;
}

SendLog::Durum durumOf(SendRun::Outcome outcome) {
    switch (outcome) {
    case SendRun::Outcome::Sent:
        return SendLog::Durum::Gonderildi;
    case SendRun::Outcome::Failed:
        return SendLog::Durum::Hata;
    case SendRun::Outcome::Unknown:
        break;
    }
    return SendLog::Durum::Belirsiz;
}

} // namespace

SendingWorkflow::SendingWorkflow(SendingControls controls, SendingServices services)
    : m_controls(controls), m_services(std::move(services)) {
    m_lineTimer.setInterval(LineCheckInterval);
    connect(&m_lineTimer, &QTimer::timeout, this, [this] {
        try {
            checkLine();
        } catch (const std::exception& error) {
            const QString text = QString::fromUtf8(error.what());
            later([this, text] { m_services.showError(text); });
        }
    });
    m_logTimer.setInterval(LogRetryInterval);
    m_logTimer.setSingleShot(true);
    connect(&m_logTimer, &QTimer::timeout, this, [this] {
        m_services.log.retry();
        keepWritingLog();
    });
    connect(&m_controls.CheckBox1, &QCheckBox::toggled, this, &SendingWorkflow::showCount);
    connect(&m_controls.CheckBox2, &QCheckBox::toggled, this, [this](bool wanted) {
        m_reportsSet = m_reportsSet && wanted;
        if (wanted && m_connection == Connection::Connected && !m_message) {
            setReports();
        }
    });
    showRun();
    showCount();
}

bool SendingWorkflow::pduMode() const {
    return m_controls.CheckBox1.isChecked();
}

bool SendingWorkflow::reportsWanted() const {
    return m_controls.CheckBox2.isChecked();
}

void SendingWorkflow::setReports() {
    m_line.addCommand(PhoneLine::Command::Reports, 0, deadline(m_services.timings.probeBound));
    watchLine();
    m_services.modem.SendCommand(reportsCommand);
    m_reportsSet = true;
}

PhoneLine::Clock::time_point SendingWorkflow::deadline(std::chrono::milliseconds bound) const {
    return m_services.now() + bound;
}

void SendingWorkflow::memo1Change() {
    showCount();
}

void SendingWorkflow::showCount() {
    const QString text = m_controls.memo1.toPlainText();
    if (pduMode()) {
        // The text as typed: the SMS it takes and the room left in the last one.
        const SmsCount count = countSms(text.toStdU16String());
        m_controls.Label7.setText(
            count.tooLong() ? QStringLiteral("%1 karakter · çok uzun").arg(count.characters)
                            : QStringLiteral("%1 karakter · %2 SMS").arg(count.characters).arg(count.parts));
        m_controls.Label9.setText(
            count.tooLong()
                ? QStringLiteral("en çok %1").arg(QString::fromStdString(turkishCount(count.maxUnits)))
                : QStringLiteral("%1 karakter kaldı").arg(count.unitsLeft));
        m_controls.Label9.adjustSize();
    } else {
        m_controls.Label7.setText(QString::number(messageLength(text)));
    }
    m_controls.Label9.setVisible(pduMode());
    m_controls.Label7.adjustSize(); // the label's width follows its text
}

// SMS a message takes: in PDU mode its parts; in text mode one, the phone refusing what does not fit.
long long SendingWorkflow::smsPerMessage(const QString& text) const {
    return pduMode() ? countSms(text.toStdU16String()).parts : 1;
}

bool SendingWorkflow::textTooLong(const QString& text) {
    if (!pduMode()) {
        return false;
    }
    const SmsCount count = countSms(text.toStdU16String());
    if (!count.tooLong()) {
        return false;
    }
    m_services.showMessage(QString::fromUtf8(SmsTooLong(count.units, count.maxUnits).what()));
    return true;
}

bool SendingWorkflow::sendRefused() {
    if (m_connection == Connection::Connected) {
        return false;
    }
    m_services.showMessage(refusal);
    return true;
}

bool SendingWorkflow::textIsEmpty() {
    if (!m_controls.memo1.toPlainText().trimmed().isEmpty()) {
        return false;
    }
    m_services.showMessage(emptyText);
    return true;
}

void SendingWorkflow::setStatus(const QString& text) {
    m_controls.Label4.setText(text);
    m_controls.Label4.adjustSize();
}

void SendingWorkflow::Button4Click() {
    if (sendRefused()) {
        return;
    }
    // Its answer would be taken for the run's, or the run's for its.
    if (m_run.going()) {
        m_services.showMessage(runGoing);
        return;
    }
    if (textIsEmpty()) {
        return;
    }
    // An overdue answer may still come, or a message in PDU mode is still going out part by part: a
    // new message now could be credited with another's answer.
    if (m_line.stalled() || (pduMode() && !m_line.readyForSubmission())) {
        m_services.showMessage(phoneBusy);
        return;
    }
    if (!pduMode()) {
        foldTurkishLetters(m_controls.memo1);
    }
    const QString text = m_controls.memo1.toPlainText();
    const DialNumber number = dialNumber(m_controls.Edit1.text());
    if (!number.valid()) {
        m_services.showMessage(notSent + number.error);
        return;
    }
    if (textTooLong(text)) {
        return;
    }
    sendMessage({number.number, QString(), text, QString(), SendLog::Durum::Bekliyor}, text,
                {Owner::SingleSend, 0, 0});
}

void SendingWorkflow::Button6Click() {
    if (sendRefused() || m_run.going() || resumeOffered() || textIsEmpty()) {
        return;
    }
    if (!pduMode()) {
        foldTurkishLetters(m_controls.memo1);
    }
    const QString text = m_controls.memo1.toPlainText();
    if (textTooLong(text)) {
        return;
    }
    std::vector<Recipient> recipients = distinctNumbers(m_services.recipients.fromCurrentRow());
    if (confirmed(recipients, text, m_services.recipients.currentRow())) {
        startCampaign(std::move(recipients), text);
    }
}

bool SendingWorkflow::resumeOffered() {
    // The latest campaign, if it did not reach its end: paused now, stopped with "Durdur", or cut by a
    // closed window, a crash or a power cut.
    const std::optional<CampaignStore::Campaign> latest = m_services.campaigns.latest();
    if (!latest || latest->durum == CampaignStore::Durum::Bitti) {
        return false;
    }
    const bool pausedHere = m_run.state() == SendRun::State::Paused && m_run.campaign() == latest->id;
    std::vector<Recipient> left = m_services.campaigns.remaining(latest->id, false);
    if (left.empty() && !pausedHere) {
        return false;
    }
    const CampaignStore::Counts counts = m_services.campaigns.counts(latest->id);
    const int answer =
        m_services.ask(QStringLiteral("Yarım kalan gönderim (%1): %2 / %3 gönderildi. Kalanlara devam "
                                      "edilsin mi?")
                           .arg(QLocale(QLocale::Turkish).toString(latest->baslangic, u"d.MM.yyyy HH:mm"))
                           .arg(counts.sent)
                           .arg(counts.total),
                       {QStringLiteral("Devam"), QStringLiteral("Yeni gönderim"), QStringLiteral("Vazgeç")});
    if (answer == 0) {
        if (pausedHere) {
            // Goes on once the phone shows it is idle; a phone still silent pauses it again.
            m_run.resume();
            showRun();
            checkLine();
        } else {
            resume(*latest, std::move(left), false);
        }
        return true;
    }
    if (answer == 1) {
        if (pausedHere) {
            endRun(SendRun::State::Stopped);
        } else {
            m_services.campaigns.setDurum(latest->id, CampaignStore::Durum::Durduruldu);
        }
        return false;
    }
    return true;
}

void SendingWorkflow::resume(const CampaignStore::Campaign& campaign, std::vector<Recipient> recipients,
                             bool withUnknown) {
    if (textTooLong(campaign.mesaj)) {
        return;
    }
    const CampaignStore::Counts counts = m_services.campaigns.counts(campaign.id);
    m_services.campaigns.setDurum(campaign.id, CampaignStore::Durum::Suruyor);
    m_run.start(campaign.id, std::move(recipients), campaign.mesaj,
                {counts.sent, withUnknown ? 0 : counts.unknown, counts.total, counts.delivered});
    startTicking();
}

void SendingWorkflow::startTicking() {
    setStatus(Ready);
    m_controls.Timer1.setInterval(static_cast<int>(m_services.timings.tick.count()));
    m_controls.Timer1.start();
    showRun();
}

std::optional<CampaignStore::Campaign> SendingWorkflow::campaignToSend(qint64 id) {
    if (sendRefused()) {
        return std::nullopt;
    }
    if (m_run.going()) {
        m_services.showMessage(runGoing);
        return std::nullopt;
    }
    return m_services.campaigns.campaign(id);
}

void SendingWorkflow::resumeCampaign(qint64 id, bool withUnknown) {
    const std::optional<CampaignStore::Campaign> campaign = campaignToSend(id);
    if (!campaign) {
        return;
    }
    if (m_run.state() == SendRun::State::Paused && m_run.campaign() != id) {
        endRun(SendRun::State::Stopped); // one campaign with the phone at a time
    }
    std::vector<Recipient> left = m_services.campaigns.remaining(id, withUnknown);
    if (left.empty()) {
        m_services.showMessage(nobodyLeft);
        return;
    }
    resume(*campaign, std::move(left), withUnknown);
}

void SendingWorkflow::retryFailed(qint64 id, bool withUnknown) {
    const std::optional<CampaignStore::Campaign> campaign = campaignToSend(id);
    if (!campaign) {
        return;
    }
    std::vector<Recipient> recipients = m_services.campaigns.failed(id, withUnknown);
    if (!textTooLong(campaign->mesaj) && confirmed(recipients, campaign->mesaj, 0)) {
        if (m_run.state() == SendRun::State::Paused) {
            endRun(SendRun::State::Stopped);
        }
        startCampaign(std::move(recipients), campaign->mesaj);
    }
}

bool SendingWorkflow::confirmed(const std::vector<Recipient>& recipients, const QString& text, int startRow) {
    if (recipients.empty()) {
        m_services.showMessage(nobodyLeft);
        return false;
    }
    const auto name = [](const Recipient& r) {
        return r.adsoyad.trimmed().isEmpty() ? r.telefon : r.adsoyad;
    };
    const auto count = static_cast<long long>(recipients.size());
    QString who = name(recipients.front());
    if (count > 1) {
        who += QStringLiteral(" … ") + name(recipients.back());
    }
    if (startRow > 0) {
        who += QStringLiteral(" (listenin %1. satırından başlayarak; tüm liste için önce ilk satırı seçin)")
                   .arg(startRow + 1);
    }
    const long long minutes = std::max(1LL, (count * m_services.timings.tick.count() + 59999) / 60000);
    const long long messages = count * smsPerMessage(text);
    return m_services.ask(
               QStringLiteral("%1 kişiye gönderilecek: %2. %3 SMS, yaklaşık %4 dk. Gönderilsin mi?")
                   .arg(count)
                   .arg(who)
                   .arg(messages)
                   .arg(minutes),
               {QStringLiteral("Gönder"), QStringLiteral("Vazgeç")}) == 0;
}

void SendingWorkflow::startCampaign(std::vector<Recipient> recipients, const QString& text) {
    // Stored before any message: a crash from here on leaves a campaign that can be resumed.
    const qint64 id = m_services.campaigns.start(text, recipients);
    m_run.start(id, std::move(recipients), text, {});
    startTicking();
}

void SendingWorkflow::Button9Click() {
    if (m_run.active()) {
        endRun(SendRun::State::Stopped);
    }
}

void SendingWorkflow::Timer1Timer() {
    if (!m_run.active()) {
        m_controls.Timer1.stop();
        return;
    }
    // One message at a time: the one with the phone is answered (or overdue and the phone shown
    // idle) first; a paused run and a phone that is gone are waited for.
    if (m_run.state() != SendRun::State::Sending || m_connection != Connection::Connected ||
        !m_line.readyForSubmission()) {
        return;
    }
    if (reportsWanted() && !m_reportsSet) {
        setReports(); // asked for since connecting: its answer first, the message on the next tick
        return;
    }
    try {
        if (!sendNextOfRun()) {
            endRun(SendRun::State::Finished);
            return;
        }
    } catch (const SendLogError&) {
        // Nothing goes out unrecorded.
        endRun(SendRun::State::Stopped);
        throw;
    }
    showRun();
}

bool SendingWorkflow::sendNextOfRun() {
    // In text mode folded, as it would have been at the press: a campaign resumed with the box off.
    const QString text = pduMode() ? m_run.text() : foldedTurkishLetters(m_run.text());
    while (const std::optional<Recipient> recipient = m_run.take()) {
        const DialNumber number = dialNumber(recipient->telefon);
        if (!number.valid()) {
            // Failed without a word to the phone, so it takes no tick.
            m_services.log.add({recipient->telefon, recipient->adsoyad, text, number.error,
                                SendLog::Durum::Hata, m_run.campaign(), recipient->id});
            m_run.record(SendRun::Outcome::Failed, m_services.now());
            if (!m_run.going()) {
                return true; // paused by failures in a row
            }
            continue;
        }
        setStatus(Going);
        m_run.submitted();
        try {
            sendMessage({number.number, recipient->adsoyad, text, QString(), SendLog::Durum::Bekliyor,
                         m_run.campaign(), recipient->id},
                        text, {Owner::Run, m_run.serial(), m_run.campaign()});
        } catch (const SendLogError&) {
            throw;
        } catch (const std::exception&) {
            // The error is in the message's log row and in the count; the next tick goes on.
            m_run.record(SendRun::Outcome::Failed, m_services.now());
            setStatus(Ready);
        }
        return true;
    }
    return false;
}

void SendingWorkflow::endRun(SendRun::State end) {
    if (end == SendRun::State::Finished) {
        m_run.finish();
    } else {
        m_run.stop();
    }
    m_controls.Timer1.stop();
    m_services.campaigns.setDurum(m_run.campaign(), end == SendRun::State::Finished
                                                        ? CampaignStore::Durum::Bitti
                                                        : CampaignStore::Durum::Durduruldu);
    if (m_connection == Connection::Connected) {
        setStatus(Ready);
    }
    showRun();
}

void SendingWorkflow::sendMessage(SendLog::Entry entry, const QString& text, Pending pending) {
    if (!pduMode()) {
        const std::string bytes = messageBytes(text);
        entry.mesaj = fromCp1254(bytes);
        submit(entry, bytes, pending);
        return;
    }
    // The reference joins the parts of one message at the handset, and tells them from the next's.
    SmsSubmission submission = buildSmsSubmit(entry.telefon.toStdString(), text.toStdU16String(),
                                              {++m_concatenation, reportsWanted()});
    entry.parca = static_cast<int>(submission.parts.size());
    // The row comes first: a message that cannot be recorded is not sent.
    pending.row = m_services.log.add(entry);
    pending.parts = entry.parca;
    pending.reports = reportsWanted();
    m_message.emplace(pending.row, std::move(submission), pending.reports);
    submitPart(pending);
}

void SendingWorkflow::submit(const SendLog::Entry& entry, const std::string& bytes, Pending pending) {
    // The row comes first: a message that cannot be recorded is not sent.
    pending.row = m_services.log.add(entry);
    const long long token = ++m_tokens;
    m_pending.emplace(token, pending);
    m_line.addSubmission(token, bytes, deadline(m_services.timings.answerBound));
    watchLine();
    try {
        m_services.modem.SendSms(toCp1254(entry.telefon), std::string(), bytes);
    } catch (const std::exception& error) {
        m_line.remove(token);
        m_pending.erase(token);
        m_services.log.settle(pending.row, QString::fromUtf8(error.what()), SendLog::Durum::Hata);
        keepWritingLog();
        throw;
    }
}

void SendingWorkflow::submitPart(Pending pending) {
    pending.part = m_message->part();
    const long long token = ++m_tokens;
    m_pending.emplace(token, pending);
    // The component waits for the phone's "OK" and prompt before it writes the part: its answer's
    // bound starts after those waits.
    m_line.addSubmission(token, {}, deadline(m_services.timings.answerBound + SendingTimings::PartWaits),
                         PhoneLine::Mode::Pdu);
    watchLine();
    try {
        m_services.modem.SubmitPdu(m_message->current().tpduOctets, m_message->current().hex);
    } catch (const std::exception& error) {
        m_line.remove(token);
        m_pending.erase(token);
        const OutgoingMessage::Ended end = m_message->failed(QString::fromUtf8(error.what()));
        m_message.reset();
        messageEnded(pending, end, false);
    }
}

void SendingWorkflow::checkLine() {
    settle(m_line.expire(m_services.now()));
    if (m_connection == Connection::Connected && m_line.needsProbe()) {
        probe();
    }
    watchLine();
}

void SendingWorkflow::probe() {
    // Whatever the phone still owes comes before the answer to this.
    m_line.addCommand(PhoneLine::Command::Probe, 0, deadline(m_services.timings.probeBound));
    m_services.modem.SendCommand(probeCommand);
}

void SendingWorkflow::watchLine() {
    if (m_line.idle()) {
        m_pending.clear(); // nothing of the line can answer them any more
        m_lineTimer.stop();
    } else if (!m_lineTimer.isActive()) {
        m_lineTimer.start();
    }
}

void SendingWorkflow::keepWritingLog() {
    if (m_services.log.unwritten() > 0 && !m_logTimer.isActive()) {
        m_logTimer.start();
    }
}

void SendingWorkflow::settle(const std::vector<PhoneLine::Answer>& answers) {
    for (const PhoneLine::Answer& answer : answers) {
        settle(answer);
    }
    watchLine();
}

void SendingWorkflow::settle(const PhoneLine::Answer& answer) {
    switch (answer.command) {
    case PhoneLine::Command::Setup:
        return;
    case PhoneLine::Command::Reports:
        if (m_connection == Connection::Checking) {
            connectionChecked(answer);
        } else if (answer.result != PhoneLine::Result::Confirmed) {
            later([this] { m_services.showMessage(noReports); });
        }
        return;
    case PhoneLine::Command::Probe:
    case PhoneLine::Command::TextMode:
        if (m_connection == Connection::Checking) {
            connectionChecked(answer);
        } else if (m_connection == Connection::Connected && answer.command == PhoneLine::Command::Probe) {
            if (answer.result != PhoneLine::Result::Unanswered) {
                phoneAnswered();
            } else if (m_run.going()) {
                m_run.pause(SendRun::PauseReason::PhoneSilent);
                showRun();
            }
        }
        return;
    case PhoneLine::Command::Submission:
        settleSubmission(answer);
        return;
    }
}

void SendingWorkflow::settleSubmission(const PhoneLine::Answer& answer) {
    const auto found = m_pending.find(answer.token);
    if (found == m_pending.end()) {
        return;
    }
    const Pending pending = found->second;
    if (answer.result != PhoneLine::Result::Unanswered) {
        m_pending.erase(found); // an unanswered one may still be answered late
    }
    if (pending.part == 0) {
        messageEnded(pending, OutgoingMessage::textMode(answer), answer.late);
        return;
    }
    if (answer.late || !m_message || m_message->row() != pending.row) {
        messageEnded(pending,
                     OutgoingMessage::lateAnswer(answer, pending.part, pending.parts, pending.reports), true);
        return;
    }
    const std::optional<OutgoingMessage::Ended> end = m_message->answered(answer);
    if (answer.result == PhoneLine::Result::Confirmed && pending.reports) {
        // Kept in the file: a report may come after a restart.
        m_services.deliveries.partSent(pending.row, pending.part, m_message->references().back());
    }
    if (!end) {
        submitPart(pending); // the next part, at once
        return;
    }
    m_message.reset();
    messageEnded(pending, *end, false);
}

void SendingWorkflow::messageEnded(const Pending& pending, const OutgoingMessage::Ended& end, bool late) {
    const SendRun::Outcome outcome = end.outcome;
    const QString& sonuc = end.sonuc;
    m_services.log.settle(pending.row, sonuc, durumOf(outcome), end.teslim);
    keepWritingLog();
    if (reportsWanted() && !m_reportsSet && m_connection == Connection::Connected && !m_message) {
        setReports(); // asked for while the message went out
    }

    if (pending.owner == Owner::SingleSend) {
        if (late) {
            return; // only its log row learns the truth: the box about it was shown already
        }
        if (outcome == SendRun::Outcome::Failed) {
            later([this, sonuc] { m_services.showMessage(notSent + sonuc); });
        } else if (outcome == SendRun::Outcome::Unknown) {
            later([this] { m_services.showMessage(unknownFate); });
        } else if (!m_run.going() && m_connection == Connection::Connected) {
            setStatus(Ready);
        }
        return;
    }
    if (pending.runSerial != m_run.serial()) {
        // A run left behind. Of the campaign now resumed, its message counts there: the resumed run
        // found it with the phone.
        if (pending.campaign == m_run.campaign()) {
            late ? m_run.correct(outcome) : m_run.credit(outcome);
            showRun();
        }
        return;
    }
    if (late) {
        m_run.correct(outcome);
        showRun();
        return;
    }
    const bool runWaits = m_run.state() == SendRun::State::WaitingForAnswer;
    m_run.record(outcome, m_services.now());
    if (runWaits && m_connection == Connection::Connected) {
        setStatus(Ready);
    }
    showRun();
}

void SendingWorkflow::phoneAnswered() {
    if (m_run.state() == SendRun::State::Paused && m_run.pauseReason() == SendRun::PauseReason::PhoneSilent) {
        m_run.resume();
        showRun();
    }
}

void SendingWorkflow::checkPhone() {
    m_line.addCommand(PhoneLine::Command::Probe, 0, deadline(m_services.timings.connectBound));
    watchLine();
    try {
        m_services.modem.SendCommand(probeCommand);
    } catch (const std::exception&) {
        // The port closed under the check (the device went away): its end is on its way.
    }
}

void SendingWorkflow::connectionChecked(const PhoneLine::Answer& answer) {
    const QString port = QString::fromStdString(m_services.modem.PortName());
    if (answer.result == PhoneLine::Result::Unanswered) {
        dropConnection(
            QStringLiteral("Telefon yanıt vermiyor: %1 (bu portta telefon yok ya da kapalı)").arg(port));
        return;
    }
    if (answer.command == PhoneLine::Command::Probe) {
        // A phone is there; does it take messages the way they are to go.
        m_line.addCommand(PhoneLine::Command::TextMode, 0, deadline(m_services.timings.probeBound));
        m_services.modem.SendCommand(pduMode() ? pduModeCommand : textModeCommand);
        return;
    }
    if (answer.command == PhoneLine::Command::TextMode) {
        if (answer.result == PhoneLine::Result::Refused) {
            dropConnection(
                pduMode()
                    ? QStringLiteral("Telefon PDU kipini kabul etmiyor (AT+CMGF=0 reddedildi): %1").arg(port)
                    : QStringLiteral("Telefon metin kipini kabul etmiyor (AT+CMGF=1 reddedildi): %1")
                          .arg(port));
            return;
        }
        m_reportsSet = false;
        if (reportsWanted()) {
            setReports();
            return;
        }
    } else if (answer.result == PhoneLine::Result::Refused) {
        later([this] { m_services.showMessage(noReports); }); // sends work all the same
    }
    m_connection = Connection::Connected;
    setStatus(Connected);
    paint(m_controls.Label4, QColor(255, 0, 0), windowTextOf(m_controls.Label4));
    m_controls.Panel1.setEnabled(true);
}

void SendingWorkflow::dropConnection(const QString& reason) {
    m_connection = Connection::None;
    m_line.abandon(); // only the check's own commands were on it
    const int connection = m_connections;
    later([this, reason, connection] {
        if (connection != m_connections) {
            return; // another port was connected meanwhile
        }
        m_dropping = true;
        m_services.modem.Disconnect();
        m_dropping = false;
        m_services.showMessage(reason);
    });
}

void SendingWorkflow::showRun() {
    m_controls.Label8.setText(m_run.progress(m_services.timings.tick));
    m_controls.Button9.setEnabled(m_run.active());
    m_controls.Button6.setEnabled(!m_run.going());
}

void SendingWorkflow::later(std::function<void()> notice) {
    // A message box runs an event loop of its own: shown from the top of the event loop, never
    // from inside the handler that is still changing the state.
    QMetaObject::invokeMethod(this, std::move(notice), Qt::QueuedConnection);
}

void SendingWorkflow::GsmModemConnect() {
    deliver([this] {
        settle(m_line.abandon());
        m_connection = Connection::Checking;
        const int connection = ++m_connections;
        // The component writes its caller-number setup once this returns; the check follows it.
        m_line.addCommand(PhoneLine::Command::Setup, 0, deadline(m_services.timings.probeBound));
        later([this, connection] {
            if (connection == m_connections && m_connection == Connection::Checking) {
                checkPhone();
            }
        });
    });
}

void SendingWorkflow::GsmModemDisconnect() {
    deliver([this] {
        // What the phone had not answered can no longer be answered.
        const bool quietly = m_dropping || m_connection == Connection::Checking;
        m_connection = Connection::None;
        settle(m_line.abandon());
        if (!quietly) {
            setStatus(NoConnection);
            paint(m_controls.Label4, QColor(0, 0, 0), QColor(255, 255, 255));
        }
    });
}

void SendingWorkflow::GsmModemReceive(const std::string& buffer) {
    deliver([this, buffer] {
        m_controls.memo2.appendPlainText(fromCp1254(buffer));
        settle(m_line.read(buffer));
        readReports();
    });
}

void SendingWorkflow::readReports() {
    for (const std::string& pdu : m_line.takeReports()) {
        StatusReport report;
        try {
            report = decodeStatusReport(pdu);
        } catch (const SmsPduError&) {
            continue; // a report this program cannot read is in the reply log, and about no message of ours
        }
        const std::optional<DeliveryReports::Settled> settled = m_services.deliveries.take(report);
        if (settled && settled->newlyDelivered && settled->kampanya == m_run.campaign()) {
            m_run.delivered();
            showRun();
        }
    }
}

void SendingWorkflow::GsmModemPduFailed(const std::string& reason) {
    deliver([this, reason] {
        if (!m_message) {
            return;
        }
        const auto current = std::find_if(m_pending.begin(), m_pending.end(), [this](const auto& entry) {
            return entry.second.row == m_message->row() && entry.second.part == m_message->part();
        });
        if (current == m_pending.end()) {
            return;
        }
        const Pending pending = current->second;
        m_line.remove(current->first);
        m_pending.erase(current);
        const OutgoingMessage::Ended end = m_message->failed(QString::fromUtf8(reason.c_str()));
        m_message.reset();
        messageEnded(pending, end, false);
        if (m_connection == Connection::Connected) {
            probe(); // what the phone still has open is answered before anything new goes
        }
        watchLine();
    });
}

void SendingWorkflow::GsmModemRing(const std::string& /*callerNumber*/) {
    deliver([this] { m_controls.memo2.appendPlainText(ringLine); });
}

void SendingWorkflow::deliver(std::function<void()> effect) {
    {
        const std::lock_guard lock(m_eventsMutex);
        m_events.push_back(std::move(effect));
    }
    if (QThread::currentThread() == thread()) {
        applyEvents();
    } else {
        QMetaObject::invokeMethod(this, &SendingWorkflow::applyEvents, Qt::QueuedConnection);
    }
}

void SendingWorkflow::applyEvents() {
    // Effects queued from another thread that are still waiting go first, so a call made here on
    // the user-interface thread never overtakes an event that arrived before it.
    for (;;) {
        std::function<void()> effect;
        {
            const std::lock_guard lock(m_eventsMutex);
            if (m_events.empty()) {
                return;
            }
            effect = std::move(m_events.front());
            m_events.pop_front();
        }
        effect();
    }
}
