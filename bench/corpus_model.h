// SPDX-License-Identifier: MIT
#pragma once

// The made-up message store the benchmarks read: who writes, when, what, and the contact cards.
// Everything is derived from a seed and an index, so a message or a card is the same bytes
// whatever the size of the corpus it belongs to.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quillbox::bench {

// splitmix64, written out here because the <random> distributions differ between standard
// libraries and the corpus must not.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next();
    // Uniform in [0, bound); bound > 0.
    std::uint32_t Below(std::uint32_t bound);
    // Uniform in [0, 1).
    double Unit();
    bool Chance(double p) { return Unit() < p; }

private:
    std::uint64_t state_;
};

// An independent stream for (seed, kind of thing, index).
std::uint64_t StreamSeed(std::uint64_t seed, std::uint64_t kind, std::uint64_t index);

struct Person {
    enum class Kind { Mobile, Landline, Service, Short };
    Kind kind = Kind::Mobile;
    // The number as the engine matches it: no "+86", "0", "17951", "12520" or "106" prefix.
    std::string base;
};

class CorpusModel {
public:
    static constexpr std::size_t kDefaultSenders = 2000;

    explicit CorpusModel(std::uint64_t seed, std::size_t senders = kDefaultSenders);

    // Message file `index` as text (LF line ends) and as the UTF-16LE bytes a phone stores.
    std::u16string MessageText(std::uint64_t index) const;
    std::string MessageFile(std::uint64_t index) const;

    // Contact card `index`, 8-bit, with its own line ends (CR LF or LF).
    std::string CardFile(std::uint64_t index) const;

    const std::vector<Person>& People() const { return people_; }

private:
    const Person& PickSender(Random& random) const;

    std::uint64_t seed_;
    std::vector<Person> people_;
};

// Where message or card `index` lives below its folder, with its file name: sub-folders of a
// few hundred files, grouped as the phones they came from; some folders use upper-case
// extensions, as some phones write them.
std::string MessagePath(std::uint64_t index);
std::string CardPath(std::uint64_t index);

std::string EncodeUtf8(std::u16string_view text);

}  // namespace quillbox::bench
