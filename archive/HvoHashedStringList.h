#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// A chained hash table from text keys to indexes. Among equal keys the one added last
// is found first.
class THvoStringHash {
public:
    explicit THvoStringHash(size_t bucketCount);

    void Add(const std::string& key, int32_t value);
    // Removes the node found first for the key (the one added last).
    void Remove(const std::string& key);
    // Removes the node of exactly this key and value, if there is one.
    void Remove(const std::string& key, int32_t value);
    // The value of the key found first; -1 when absent.
    int32_t ValueOf(const std::string& key) const;
    void Clear();
    size_t BucketCount() const { return buckets_.size(); }

private:
    using Chain = std::vector<std::pair<std::string, int32_t>>; // newest at the back
    Chain& ChainOf(const std::string& key);
    const Chain& ChainOf(const std::string& key) const;
    // Removes the newest node of the key whose value satisfies the predicate.
    template <class Pred>
    void RemoveNewest(const std::string& key, Pred valueMatches);

    std::vector<Chain> buckets_;
};

// A list of UTF-8 strings with two lazily built hash indexes: whole strings for IndexOf
// and name parts (text before the first "=") for IndexOfName. Keys are the strings
// themselves in a case-sensitive list, otherwise their lower case (per code point, all
// of Unicode). Indexes out of range raise platform::EListError "List index out of
// bounds (%d)".
class THvoHashedStringList {
public:
    int32_t Count() const { return static_cast<int32_t>(strings_.size()); }
    const std::string& Get(int32_t index) const;
    // Replaces the string at index; the whole-string index stays current.
    void Put(int32_t index, const std::string& s);
    // Appends; returns the new index. Past five strings per bucket the whole-string index
    // is dropped and rebuilt larger by the next IndexOf.
    int32_t Add(const std::string& s);
    // Removes the string; later positions shift down by one.
    void Delete(int32_t index);
    void Clear();
    // Index of the string (the highest among equal strings); -1 when absent.
    int32_t IndexOf(const std::string& s);
    // Index of a string whose name part (text before the first "=") equals the name
    // exactly, the highest among several; -1 when absent.
    int32_t IndexOfName(const std::string& name);

    bool CaseSensitive() const { return caseSensitive_; }
    // Changing the case rule drops both indexes.
    void SetCaseSensitive(bool value);

private:
    std::string KeyOf(const std::string& s) const;
    void CheckIndex(int32_t index) const;

    std::vector<std::string> strings_;
    std::unique_ptr<THvoStringHash> valueHash_;
    std::unique_ptr<THvoStringHash> nameHash_;
    bool valueHashValid_ = false;
    bool nameHashValid_ = false;
    bool caseSensitive_ = false;
};
