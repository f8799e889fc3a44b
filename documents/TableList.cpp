#include "TableList.h"

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

}  // namespace vm
