#include "HistoryWindow.h"

#include "FormLayout.h"
#include "UserDialogs.h"

#include <QDir>
#include <QEvent>
#include <QHeaderView>
#include <QSaveFile>
#include <stdexcept>
#include <utility>

namespace {

const QString singleSends = QStringLiteral("Tek gönderimler");

// "2026-12-08T14:03:27" as "8.12.2026 14:03", read off the stored text: thousands of rows are shown
// at once.
QString shortDate(const QString& iso) {
    if (iso.size() < 16 || iso[4] != u'-' || iso[10] != u'T') {
        return iso;
    }
    const QStringView text(iso);
    const QStringView day = text.mid(8, 2);
    QString shown;
    shown.reserve(16);
    shown.append(day.startsWith(u'0') ? day.mid(1) : day).append(u'.').append(text.mid(5, 2)).append(u'.');
    shown.append(text.left(4)).append(u' ').append(text.mid(11, 5));
    return shown;
}

// The first words of a text, on one line.
QString firstWords(const QString& text) {
    constexpr int Shown = 40;
    const QString line = text.simplified();
    return line.size() <= Shown ? line : line.left(Shown).trimmed() + QStringLiteral("…");
}

QStringList countCells(const CampaignStore::Counts& counts) {
    return {QString::number(counts.sent),    QString::number(counts.delivered),
            QString::number(counts.failed),  QString::number(counts.unknown),
            QString::number(counts.waiting), QString::number(counts.total)};
}

// A field as Excel reads it back: quoted when it holds the separator, a quote or a line break.
QString csvField(const QString& field) {
    if (!field.contains(u';') && !field.contains(u'"') && !field.contains(u'\n') && !field.contains(u'\r')) {
        return field;
    }
    QString quoted = field;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

void setUpTable(QTableView& table, TextRows& rows, const char* name) {
    table.setObjectName(QString::fromLatin1(name));
    table.setModel(&rows);
    table.setSelectionBehavior(QAbstractItemView::SelectRows);
    table.setSelectionMode(QAbstractItemView::SingleSelection);
    table.setEditTriggers(QAbstractItemView::NoEditTriggers);
    table.verticalHeader()->setVisible(false);
    table.verticalHeader()->setDefaultSectionSize(17);
    table.horizontalHeader()->setStretchLastSection(true);
    table.horizontalHeader()->setFont(windowFont());
}

} // namespace

void TextRows::setRows(std::vector<QStringList> rows) {
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
}

int TextRows::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TextRows::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(headers_.size());
}

QVariant TextRows::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid()) {
        return {};
    }
    return rows_[static_cast<std::size_t>(index.row())].value(index.column());
}

QVariant TextRows::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal) {
        return {};
    }
    return headers_.value(section);
}

HistoryWindow::HistoryWindow(CampaignStore& campaigns, std::function<void(qint64, bool)> resume,
                             std::function<void(qint64, bool)> retry, QWidget* parent)
    : QWidget(parent, Qt::Window), campaigns_(campaigns), resume_(std::move(resume)),
      retry_(std::move(retry)),
      campaignRows_({QStringLiteral("Tarih"), QStringLiteral("Mesaj"), QStringLiteral("Gönderildi"),
                     QStringLiteral("Teslim"), QStringLiteral("Hata"), QStringLiteral("Belirsiz"),
                     QStringLiteral("Bekliyor"), QStringLiteral("Toplam"), QStringLiteral("Durum")}),
      messageRows_({QStringLiteral("Ad Soyad"), QStringLiteral("Telefon"), QStringLiteral("Durum"),
                    QStringLiteral("Teslim"), QStringLiteral("Yanıt"), QStringLiteral("Zaman"),
                    QStringLiteral("Mesaj")}) {
    setUpWindow(*this, "HistoryWindow", QStringLiteral("Gönderim Geçmişi"), {720, 480}, {240, 140});
    setUpTable(campaignTable_, campaignRows_, "campaigns");
    setUpTable(messageTable_, messageRows_, "messages");
    campaignTable_.setColumnWidth(0, 100);
    campaignTable_.setColumnWidth(1, 220);
    for (int count = 2; count <= 7; ++count) {
        // A handful of rows: the counts' columns take the width their header needs.
        campaignTable_.horizontalHeader()->setSectionResizeMode(count, QHeaderView::ResizeToContents);
    }
    for (const auto& [column, width] : {std::pair{0, 140}, {1, 100}, {2, 70}, {3, 80}, {4, 110}, {5, 95}}) {
        messageTable_.setColumnWidth(column, width);
    }
    summary_.setObjectName(QStringLiteral("summary"));
    resumeButton_.setObjectName(QStringLiteral("resume"));
    resumeButton_.setText(QStringLiteral("Kalanlara devam et"));
    retryButton_.setObjectName(QStringLiteral("retry"));
    retryButton_.setText(QStringLiteral("Başarısızları yeniden gönder"));
    withUnknown_.setObjectName(QStringLiteral("withUnknown"));
    withUnknown_.setText(QStringLiteral("belirsizler de"));
    exportButton_.setObjectName(QStringLiteral("export"));
    exportButton_.setText(QStringLiteral("Dışa aktar"));

    buttonLayout_.setContentsMargins(0, 0, 0, 0);
    buttonLayout_.addWidget(&resumeButton_);
    buttonLayout_.addWidget(&retryButton_);
    buttonLayout_.addWidget(&withUnknown_);
    buttonLayout_.addStretch();
    buttonLayout_.addWidget(&exportButton_);
    layout_.addWidget(&campaignTable_, 2);
    layout_.addWidget(&summary_);
    layout_.addWidget(&messageTable_, 3);
    layout_.addWidget(&buttonRow_);

    connect(campaignTable_.selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { guarded([this] { showMessages(); }); });
    connect(&resumeButton_, &QPushButton::clicked, this, [this] {
        if (const auto id = chosen()) {
            resume_(*id, withUnknown_.isChecked());
            guarded([this] { refresh(); });
        }
    });
    connect(&retryButton_, &QPushButton::clicked, this, [this] {
        if (const auto id = chosen()) {
            retry_(*id, withUnknown_.isChecked());
            guarded([this] { refresh(); });
        }
    });
    connect(&exportButton_, &QPushButton::clicked, this, [this] { guarded([this] { exportMessages(); }); });
}

bool HistoryWindow::event(QEvent* event) {
    // What a run did while the window stood behind the main window shows when it comes to the front.
    if (event->type() == QEvent::WindowActivate) {
        guarded([this] { refresh(); });
    }
    return QWidget::event(event);
}

void HistoryWindow::refresh() {
    // Campaign ids are positive; -1 stands for the row of single sends.
    const qint64 before = ids_.empty() ? -1 : chosen().value_or(-1);
    const bool hadChoice = campaignTable_.currentIndex().isValid();
    std::vector<QStringList> rows;
    ids_.clear();
    for (const CampaignStore::Summary& summary : campaigns_.summaries()) {
        rows.push_back(QStringList{shortDate(summary.campaign.baslangic.toString(Qt::ISODate)),
                                   firstWords(summary.campaign.mesaj)} +
                       countCells(summary.counts) + QStringList{CampaignStore::text(summary.campaign.durum)});
        ids_.push_back(summary.campaign.id);
    }
    rows.push_back(QStringList{QString(), singleSends} + countCells(campaigns_.singleSendCounts()) +
                   QStringList{QString()});
    ids_.push_back(std::nullopt);
    campaignRows_.setRows(std::move(rows));

    int row = 0;
    if (hadChoice) {
        const auto found = std::find_if(ids_.begin(), ids_.end(), [before](const std::optional<qint64>& id) {
            return id.value_or(-1) == before;
        });
        row = found == ids_.end() ? 0 : static_cast<int>(found - ids_.begin());
    }
    choose(row);
}

std::optional<qint64> HistoryWindow::chosen() const {
    const int row = campaignTable_.currentIndex().row();
    return row >= 0 && row < static_cast<int>(ids_.size()) ? ids_[static_cast<std::size_t>(row)]
                                                           : std::nullopt;
}

void HistoryWindow::choose(int row) {
    if (campaignTable_.currentIndex().row() == row) {
        showMessages();
    } else {
        campaignTable_.setCurrentIndex(campaignRows_.index(row, 0)); // shows its messages
    }
}

void HistoryWindow::showMessages() {
    const std::optional<qint64> id = chosen();
    const std::vector<CampaignStore::Message> messages =
        id ? campaigns_.messages(*id) : campaigns_.singleSends();
    std::vector<QStringList> rows;
    rows.reserve(messages.size());
    for (const CampaignStore::Message& message : messages) {
        rows.push_back({message.recipient.adsoyad, message.telefon,
                        message.durum.isEmpty() ? QStringLiteral("sırada") : message.durum, message.teslim,
                        message.sonuc, shortDate(message.zaman), message.mesaj});
    }
    messageRows_.setRows(std::move(rows));
    summary_.setText(id ? campaigns_.campaign(*id).value_or(CampaignStore::Campaign{}).mesaj : singleSends);
    resumeButton_.setEnabled(id.has_value());
    retryButton_.setEnabled(id.has_value());
    withUnknown_.setEnabled(id.has_value());
}

QByteArray HistoryWindow::csv(const TextRows& messages) {
    QString text = QStringList(messages.headers()).join(u';') + QStringLiteral("\r\n");
    for (const QStringList& row : messages.rows()) {
        QStringList fields;
        for (const QString& field : row) {
            fields << csvField(field);
        }
        text += fields.join(u';') + QStringLiteral("\r\n");
    }
    return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
}

void HistoryWindow::exportMessages() {
    const std::optional<qint64> id = chosen();
    const QString suggested = QDir::home().filePath(id ? QStringLiteral("kampanya-%1.csv").arg(*id)
                                                       : QStringLiteral("tek-gonderimler.csv"));
    const QString fileName = UserDialogs::current().saveFileName(suggested, QStringLiteral("CSV (*.csv)"));
    if (fileName.isEmpty()) {
        return;
    }
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly) || file.write(csv(messageRows_)) < 0 || !file.commit()) {
        throw std::runtime_error(QStringLiteral("Dosya yazılamadı: %1 (%2)")
                                     .arg(QDir::toNativeSeparators(fileName), file.errorString())
                                     .toStdString());
    }
}
