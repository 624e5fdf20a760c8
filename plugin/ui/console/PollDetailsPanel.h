#pragma once

#include <QStringList>
#include <QTreeWidget>

namespace quibra {

struct PollRecord;

// The details panel of one poll: a property list of expandable categories,
// each holding caption/value rows; a row that lists voters carries a
// drop-down of them as its value, and the choices of a posted poll a bar of
// their share. The default panel has no record.
class PollDetailsPanel : public QTreeWidget {
public:
    // The third column: the bar of a choice's share of the respondents.
    static constexpr int kBarWidth = 150;

    explicit PollDetailsPanel(QWidget* parent, PollRecord* record = nullptr);

    // Null for the default panel.
    PollRecord* Record() const { return m_record; }

    // A new category, last, with `title` across both columns.
    QTreeWidgetItem* AddCategory(const QString& title);
    // A caption/value row, last in `category`.
    QTreeWidgetItem* AddRow(QTreeWidgetItem* category, const QString& caption,
                            const QString& value);
    // A row whose value is a drop-down of `entries`, the first one showing.
    QTreeWidgetItem* AddListRow(QTreeWidgetItem* category, const QString& caption,
                                const QStringList& entries);

    // Fills the two categories of a poll: its choices with their answer counts
    // (and voters, for identified polls), then its details. The record's
    // publish state must already be Published or NotPublished.
    void DescribeRecord();

    // The value column of `row`: its text, or the shown entry of its drop-down.
    QString ValueText(const QTreeWidgetItem* row) const;

private:
    QSize RowSize() const;

    PollRecord* m_record;
};

}  // namespace quibra
