#include "archive/HvoHashedStringList.h"

#include "platform/Exceptions.h"
#include "platform/WideCase.h"

#include <algorithm>
#include <functional>
#include <string_view>

namespace {

constexpr size_t kMinValueBuckets = 1000;
constexpr size_t kNameBuckets = 256;
constexpr size_t kMaxStringsPerBucket = 5;

} // namespace

THvoStringHash::THvoStringHash(size_t bucketCount) : buckets_(std::max<size_t>(bucketCount, 1)) {}

THvoStringHash::Chain& THvoStringHash::ChainOf(const std::string& key)
{
    return buckets_[std::hash<std::string_view>{}(key) % buckets_.size()];
}

const THvoStringHash::Chain& THvoStringHash::ChainOf(const std::string& key) const
{
    return buckets_[std::hash<std::string_view>{}(key) % buckets_.size()];
}

void THvoStringHash::Add(const std::string& key, int32_t value) { ChainOf(key).emplace_back(key, value); }

void THvoStringHash::Remove(const std::string& key) { RemoveNewest(key, [](int32_t) { return true; }); }

void THvoStringHash::Remove(const std::string& key, int32_t value)
{
    RemoveNewest(key, [value](int32_t v) { return v == value; });
}

template <class Pred>
void THvoStringHash::RemoveNewest(const std::string& key, Pred valueMatches)
{
    Chain& chain = ChainOf(key);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (it->first == key && valueMatches(it->second)) {
            chain.erase(std::next(it).base());
            return;
        }
    }
}

int32_t THvoStringHash::ValueOf(const std::string& key) const
{
    const Chain& chain = ChainOf(key);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it)
        if (it->first == key) return it->second;
    return -1;
}

void THvoStringHash::Clear()
{
    for (Chain& chain : buckets_) chain.clear();
}

std::string THvoHashedStringList::KeyOf(const std::string& s) const
{
    return caseSensitive_ ? s : platform::LowerCaseUtf8(s);
}

void THvoHashedStringList::CheckIndex(int32_t index) const
{
    if (index < 0 || index >= Count())
        throw platform::EListError("List index out of bounds (" + std::to_string(index) + ")");
}

const std::string& THvoHashedStringList::Get(int32_t index) const
{
    CheckIndex(index);
    return strings_[static_cast<size_t>(index)];
}

void THvoHashedStringList::Put(int32_t index, const std::string& s)
{
    CheckIndex(index);
    std::string& slot = strings_[static_cast<size_t>(index)];
    // The node of this very index goes: with equal strings, the node found first for
    // the key may belong to another index.
    if (valueHash_ && valueHashValid_) valueHash_->Remove(KeyOf(slot), index);
    slot = s;
    if (valueHash_ && valueHashValid_) valueHash_->Add(KeyOf(s), index);
    nameHashValid_ = false;
}

int32_t THvoHashedStringList::Add(const std::string& s)
{
    strings_.push_back(s);
    const int32_t index = Count() - 1;
    if (valueHash_ && valueHashValid_) valueHash_->Add(KeyOf(s), index);
    if (valueHash_ && strings_.size() > kMaxStringsPerBucket * valueHash_->BucketCount()) {
        valueHash_.reset();
        valueHashValid_ = false;
    }
    nameHashValid_ = false;
    return index;
}

void THvoHashedStringList::Delete(int32_t index)
{
    CheckIndex(index);
    strings_.erase(strings_.begin() + index);
    valueHashValid_ = false;
    nameHashValid_ = false;
}

void THvoHashedStringList::Clear()
{
    strings_.clear();
    if (valueHash_) valueHash_->Clear();
    nameHashValid_ = false;
}

int32_t THvoHashedStringList::IndexOf(const std::string& s)
{
    if (!valueHash_) {
        valueHash_ = std::make_unique<THvoStringHash>(std::max(strings_.size(), kMinValueBuckets));
        valueHashValid_ = false;
    }
    if (!valueHashValid_) {
        valueHash_->Clear();
        for (size_t i = 0; i < strings_.size(); ++i) valueHash_->Add(KeyOf(strings_[i]), static_cast<int32_t>(i));
        valueHashValid_ = true;
    }
    return valueHash_->ValueOf(KeyOf(s));
}

int32_t THvoHashedStringList::IndexOfName(const std::string& name)
{
    if (!nameHashValid_) {
        if (!nameHash_)
            nameHash_ = std::make_unique<THvoStringHash>(std::max(strings_.size(), kNameBuckets));
        else
            nameHash_->Clear();
        for (size_t i = 0; i < strings_.size(); ++i) {
            const size_t eq = strings_[i].find('=');
            if (eq != std::string::npos) nameHash_->Add(KeyOf(strings_[i].substr(0, eq)), static_cast<int32_t>(i));
        }
        nameHashValid_ = true;
    }
    return nameHash_->ValueOf(KeyOf(name));
}

void THvoHashedStringList::SetCaseSensitive(bool value)
{
    if (value == caseSensitive_) return;
    caseSensitive_ = value;
    valueHashValid_ = false;
    nameHashValid_ = false;
}
