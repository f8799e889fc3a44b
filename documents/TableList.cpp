#include "TableList.h"

#include <algorithm>

namespace vm {

namespace {
const std::u16string EmptyText;
}

void TStringList::Link(TStringList& a, TStringList& b) {
    a.partner_ = &b;
    b.partner_ = &a;
}

const std::u16string& TStringList::Get(std::size_t i) const {
    return i < items_.size() ? items_[i].text : EmptyText;
}

std::int32_t TStringList::Flag(std::size_t i) const {
    return i < items_.size() ? items_[i].flag : FlagPlain;
}

void TStringList::EnsureCount(std::size_t count) {
    if (items_.size() < count) items_.resize(count);
    if (partner_ && partner_->items_.size() < count) partner_->items_.resize(count);
}

void TStringList::Set(std::size_t i, std::u16string_view text) {
    EnsureCount(i + 1);
    items_[i].text.assign(text);
}

void TStringList::SetFlag(std::size_t i, std::int32_t flag) {
    EnsureCount(i + 1);
    items_[i].flag = flag;
}

void TStringList::Append(std::u16string_view text, std::int32_t flag) {
    items_.push_back(TableItem{std::u16string(text), flag});
}

void TStringList::Clear() { items_.clear(); }

void TStringList::InsertEmpty(std::size_t pos, std::size_t count) {
    if (pos > items_.size() || count == 0) return;
    items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(pos), count, TableItem{});
}

void TStringList::Erase(std::size_t pos, std::size_t count) {
    if (pos >= items_.size()) return;
    count = std::min(count, items_.size() - pos);
    const auto first = items_.begin() + static_cast<std::ptrdiff_t>(pos);
    items_.erase(first, first + static_cast<std::ptrdiff_t>(count));
}

void TStringList::Move(std::size_t from, std::size_t to) {
    if (from >= items_.size() || to >= items_.size() || from == to) return;
    const auto b = items_.begin();
    const auto f = static_cast<std::ptrdiff_t>(from);
    const auto t = static_cast<std::ptrdiff_t>(to);
    if (from < to)
        std::rotate(b + f, b + f + 1, b + t + 1);
    else
        std::rotate(b + t, b + f, b + f + 1);
}

}  // namespace vm
