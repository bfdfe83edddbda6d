#include <fenmo/SharedText.hpp>

#include <array>
#include <functional>
#include <mutex>
#include <string_view>
#include <unordered_set>

namespace fenmo {

namespace {

using detail::SharedTextEntry;

std::size_t hashOf(std::u16string_view text) noexcept {
    return std::hash<std::u16string_view>{}(text);
}

// The live entries whose hash falls to one shard, found by their characters. Texts are spread over
// shards so that threads filling different models rarely wait for one another.
struct Shard {
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(const SharedTextEntry* e) const noexcept { return e->hash; }
        std::size_t operator()(std::u16string_view text) const noexcept { return hashOf(text); }
    };
    struct Equal {
        using is_transparent = void;
        static std::u16string_view view(const SharedTextEntry* e) noexcept { return *e->text; }
        static std::u16string_view view(std::u16string_view text) noexcept { return text; }
        template <class A, class B>
        bool operator()(const A& a, const B& b) const noexcept {
            return view(a) == view(b);
        }
    };

    std::mutex lock;
    std::unordered_set<SharedTextEntry*, Hash, Equal> entries;
};

constexpr std::size_t kShards = 16;

Shard& shardOf(std::size_t hash) {
    // Never destroyed: elements held by static handles may still let go of their texts at exit.
    static auto* shards = new std::array<Shard, kShards>();
    return (*shards)[hash % kShards];
}

// Where a text would sit among the texts this thread interned last.
std::size_t recentSlot(std::u16string_view text) noexcept {
    return text.size() * 31 + (text.empty() ? 0 : text.front());
}

}  // namespace

SharedText::Entry* SharedText::intern(const std::u16string& text) {
    // The texts this thread interned last, each with a reference of its own: a host or a load setting
    // the same few texts over and over finds them here without hashing or locking.
    thread_local std::array<SharedText, 8> recent;
    SharedText& cached = recent[recentSlot(text) % recent.size()];
    if (cached.m_entry && *cached.m_entry->text == text) {
        retain(cached.m_entry);
        return cached.m_entry;
    }
    Entry* entry = internInPool(text);
    retain(entry);
    cached = SharedText(entry);
    return entry;
}

SharedText::Entry* SharedText::internInPool(const std::u16string& text) {
    const std::size_t hash = hashOf(text);
    Shard& shard = shardOf(hash);
    std::lock_guard guard(shard.lock);
    auto found = shard.entries.find(std::u16string_view(text));
    if (found != shard.entries.end()) {
        Entry* entry = *found;
        // An entry whose count reached zero is on its way out (its last holder waits for this lock to
        // take it out of the table): it is never revived, a fresh one takes its place.
        std::size_t references = entry->references.load(std::memory_order_relaxed);
        while (references != 0)
            if (entry->references.compare_exchange_weak(references, references + 1,
                                                        std::memory_order_relaxed))
                return entry;
        entry->pooled = false;
        shard.entries.erase(found);
    }
    auto* entry = new Entry{text, {1}, hash, true};
    try {
        shard.entries.insert(entry);
    } catch (...) {
        delete entry;
        throw;
    }
    return entry;
}

void SharedText::drop(Entry* entry) noexcept {
    Shard& shard = shardOf(entry->hash);
    {
        std::lock_guard guard(shard.lock);
        // While pooled, the entry is the table's only one with its characters.
        if (entry->pooled) shard.entries.erase(entry);
    }
    delete entry;
}

const SharedText::Optional SharedText::s_unset;

std::size_t SharedText::heapBytes() const noexcept {
    if (!m_entry) return 0;
    static const std::size_t inlineCapacity = std::u16string().capacity();
    const std::size_t capacity = m_entry->text->capacity();
    return sizeof(Entry) + (capacity > inlineCapacity ? (capacity + 1) * sizeof(char16_t) : 0);
}

std::size_t SharedText::pooledCount() {
    std::size_t count = 0;
    for (std::size_t i = 0; i < kShards; ++i) {
        Shard& shard = shardOf(i);
        std::lock_guard guard(shard.lock);
        count += shard.entries.size();
    }
    return count;
}

}  // namespace fenmo
