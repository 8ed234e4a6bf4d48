#pragma once

#include "messaging/CampaignStore.h"

#include <QAbstractTableModel>
#include <QBoxLayout>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QWidget>
#include <functional>
#include <optional>
#include <vector>

// Rows of texts for a table view: the history's campaigns and messages.
class TextRows : public QAbstractTableModel {
public:
    explicit TextRows(QStringList headers) : headers_(std::move(headers)) {}

    void setRows(std::vector<QStringList> rows);
    const std::vector<QStringList>& rows() const { return rows_; }
    const QStringList& headers() const { return headers_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QStringList headers_;
    std::vector<QStringList> rows_;
};

// "Gönderim Geçmişi": the campaigns, newest first, and the single sends; for the one chosen, every
// recipient with its latest message. From here a campaign is resumed, its failed messages sent
// again as a new campaign, or its messages written to a CSV file that Turkish Excel opens.
class HistoryWindow : public QWidget {
public:
    // `resume` and `retry` start a run of the main window (campaign id, with the unknown ones).
    HistoryWindow(CampaignStore& campaigns, std::function<void(qint64, bool)> resume,
                  std::function<void(qint64, bool)> retry, QWidget* parent = nullptr);

    // Reads the campaigns again; the chosen one stays chosen.
    void refresh();
    // The campaign chosen, none for the single sends.
    std::optional<qint64> chosen() const;
    void choose(int row);

    // One row a message, ";" between fields, UTF-8 with a byte order mark.
    static QByteArray csv(const TextRows& messages);

protected:
    bool event(QEvent* event) override;

private:
    void showMessages();
    void exportMessages();

    CampaignStore& campaigns_;
    std::function<void(qint64, bool)> resume_;
    std::function<void(qint64, bool)> retry_;
    std::vector<std::optional<qint64>> ids_; // of the campaign rows; none: the single sends

    TextRows campaignRows_;
    TextRows messageRows_;
    // Before the controls they hold and arrange, so those are taken down first.
    QWidget buttonRow_;
    QHBoxLayout buttonLayout_{&buttonRow_};
    QVBoxLayout layout_{this};
    QTableView campaignTable_;
    QTableView messageTable_;
    QLabel summary_;
    QPushButton resumeButton_;
    QPushButton retryButton_;
    QCheckBox withUnknown_;
    QPushButton exportButton_;
};
