#include "SharedStrings.h"

#include "CellText.h"
#include "Sheet.h"
#include "Xml.h"

#include <algorithm>
#include <bit>

namespace spreadsheet {

void SharedStringSet::add(quint64 index) {
    if (index >= kBitmapBits) {
        beyond_.push_back(index);
        return;
    }
    const size_t word = index / 64;
    if (word >= words_.size()) {
        words_.resize(std::max(word + 1, words_.size() * 2));
    }
    words_[word] |= quint64(1) << (index % 64);
}

void SharedStringSet::seal() {
    std::sort(beyond_.begin(), beyond_.end());
    beyond_.erase(std::unique(beyond_.begin(), beyond_.end()), beyond_.end());
    ranks_.resize(words_.size());
    quint32 members = 0;
    for (size_t i = 0; i < words_.size(); ++i) {
        ranks_[i] = members;
        members += static_cast<quint32>(std::popcount(words_[i]));
    }
    count_ = members + beyond_.size();
}

bool SharedStringSet::contains(quint64 index) const {
    if (index >= kBitmapBits) {
        return std::binary_search(beyond_.begin(), beyond_.end(), index);
    }
    const size_t word = index / 64;
    return word < words_.size() && (words_[word] >> (index % 64) & 1) != 0;
}

size_t SharedStringSet::rank(quint64 index) const {
    if (index >= kBitmapBits) {
        return count_ - beyond_.size() +
               static_cast<size_t>(std::lower_bound(beyond_.begin(), beyond_.end(), index) - beyond_.begin());
    }
    const size_t word = index / 64;
    if (word >= words_.size()) {
        return count_ - beyond_.size();
    }
    const quint64 below = words_[word] & ((quint64(1) << (index % 64)) - 1);
    return ranks_[word] + static_cast<size_t>(std::popcount(below));
}

std::optional<quint64> SharedStringSet::highest() const {
    if (!beyond_.empty()) {
        return beyond_.back();
    }
    for (size_t i = words_.size(); i-- > 0;) {
        if (words_[i] != 0) {
            return i * 64 + 63 - static_cast<quint64>(std::countl_zero(words_[i]));
        }
    }
    return std::nullopt;
}

// <si> items in order; the text of an item is its <t> runs, phonetic guides (<rPh>) left out.
class SharedStringsHandler final : public XmlHandler {
public:
    explicit SharedStringsHandler(SharedStrings& table)
        : table_(table), highest_(table.inUse_ ? table.inUse_->highest() : std::nullopt),
          budget_(table.inUse_ ? SharedStrings::kMaxKeptBytes : SharedStrings::kEveryItemBytes) {}
    bool done() const { return done_; }
    bool overBudget() const { return overBudget_; }

    void startElement(std::string_view name, XmlAttributes) override {
        if (name == "si") {
            if (itemDepth_++ == 0) {
                keep_ = !table_.inUse_ || table_.inUse_->contains(table_.items_);
                start_ = table_.text_.size();
                tooLong_ = false;
            }
        } else if (itemDepth_ > 0 && name == "rPh") {
            ++phonetic_;
        } else if (itemDepth_ > 0 && name == "t" && phonetic_ == 0) {
            inText_ = keep_;
        }
    }

    void endElement(std::string_view name) override {
        if (name == "t") {
            inText_ = false;
        } else if (name == "rPh" && phonetic_ > 0) {
            --phonetic_;
        } else if (name == "si" && itemDepth_ > 0 && --itemDepth_ == 0) {
            endItem();
        }
    }

    void characters(std::string_view text) override {
        if (!inText_ || tooLong_) {
            return;
        }
        if (table_.text_.size() - start_ + text.size() > static_cast<size_t>(kMaxCellBytes)) {
            tooLong_ = true;
            table_.text_.resize(start_);
            return;
        }
        table_.text_.append(text);
        checkBudget();
    }

private:
    void endItem() {
        if (keep_) {
            if (!table_.inUse_) {
                table_.entries_.emplace_back();
                checkBudget();
            }
            SharedStrings::Entry& entry =
                table_.inUse_ ? table_.entries_[table_.inUse_->rank(table_.items_)] : table_.entries_.back();
            entry.offset = static_cast<quint32>(start_);
            entry.length =
                tooLong_ ? SharedStrings::kTooLong : static_cast<quint32>(table_.text_.size() - start_);
        }
        keep_ = false;
        inText_ = false;
        phonetic_ = 0;
        done_ = done_ || (highest_ && table_.items_ >= *highest_);
        ++table_.items_;
    }

    void checkBudget() {
        if (table_.text_.size() + table_.entries_.size() * sizeof(SharedStrings::Entry) >
            static_cast<size_t>(budget_)) {
            overBudget_ = true;
            done_ = true;
        }
    }

    SharedStrings& table_;
    std::optional<quint64> highest_; // the last item to read; none: read them all
    qsizetype budget_;
    bool overBudget_ = false;
    int itemDepth_ = 0;
    int phonetic_ = 0;
    bool keep_ = false;
    bool inText_ = false;
    bool tooLong_ = false;
    bool done_ = false;
    size_t start_ = 0;
};

SharedStrings::SharedStrings(const ZipArchive& zip, const QString& part) : part_(part) {
    complete_ = read(zip);
}

SharedStrings::SharedStrings(const ZipArchive& zip, const QString& part, SharedStringSet inUse)
    : part_(part), inUse_(std::move(inUse)), entries_(inUse_->size()) {
    if (!read(zip)) {
        throw ReadError(QStringLiteral("%1 bölümü: kullanılan metinler %2 MiB'ı aşıyor")
                            .arg(part_)
                            .arg(kMaxKeptBytes >> 20));
    }
}

bool SharedStrings::read(const ZipArchive& zip) {
    if (inUse_ && inUse_->empty()) {
        return true;
    }
    SharedStringsHandler handler(*this);
    XmlPart xml(zip, part_, handler);
    while (!handler.done() && xml.parseMore()) {
    }
    if (handler.overBudget()) {
        text_ = {};
        entries_ = {};
        return false;
    }
    text_.shrink_to_fit();
    entries_.shrink_to_fit();
    return true;
}

QString SharedStrings::text(quint64 index, long long row, long long column) const {
    if (index >= items_) {
        throw ReadError(
            QStringLiteral("olmayan bir ortak metne başvuruyor: %1 (%2 metin var)").arg(index).arg(items_));
    }
    if (inUse_ && !inUse_->contains(index)) {
        throw ReadError(QStringLiteral("okunurken değişti"));
    }
    const Entry& entry = entries_[inUse_ ? inUse_->rank(index) : index];
    if (entry.length == kTooLong) {
        cellTooLong(row, column);
    }
    const std::string_view bytes(text_.data() + entry.offset, entry.length);
    const QString text = QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    return checkedCellText(bytes.find("_x") == std::string_view::npos ? text : unescapeXlsxText(text), row,
                           column);
}

} // namespace spreadsheet
