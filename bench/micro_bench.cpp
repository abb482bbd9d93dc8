// SPDX-License-Identifier: MIT
// The engine's inner pieces on the same made-up messages as the corpus, without the file system.

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <array>
#include <limits>
#include <string>
#include <vector>

#include "corpus_model.h"
#include "order/contact_book.h"
#include "order/message_store.h"
#include "platform/codec.h"
#include "read/classic_reader.h"
#include "read/field_normalisation.h"
#include "read/vcard_parser.h"
#include "read/vformat_text.h"
#include "read/vmsg_parser.h"
#include "write/byte_sink.h"
#include "write/encoding.h"
#include "write/html_archive.h"
#include "write/text_archive.h"

namespace {

using quillbox::bench::CorpusModel;

constexpr std::uint64_t kSeed = 20090318;
constexpr std::size_t kRecords = 100000;
constexpr std::size_t kCards = 10000;
// Inputs cycled through by the per-call benchmarks, so that no single input is measured alone.
constexpr std::size_t kSampleCount = 1024;

const CorpusModel& Model() {
    static const CorpusModel model(kSeed);
    return model;
}

std::string Narrow(std::u16string_view text) {
    std::array<char, quillbox::kMessageCp936Bytes> narrow;
    const auto length =
        quillbox::platform::Utf16ToCp936(text.substr(0, quillbox::kMessageHeadUnits), narrow);
    return std::string(narrow.data(), length.value_or(0));
}

std::string Utf16Le(std::u16string_view text) {
    std::string bytes;
    for (const char16_t unit : text.substr(0, quillbox::kMessageHeadUnits)) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return bytes;
}

// The messages as the reader stores them, in reading order.
void FillStore(quillbox::MessageStore& store) {
    static const std::vector<std::string> heads = [] {
        std::vector<std::string> out;
        out.reserve(kRecords);
        for (std::size_t i = 0; i < kRecords; ++i) {
            out.push_back(Utf16Le(Model().MessageText(i)));
        }
        return out;
    }();
    store.Reserve(heads.size());
    for (const std::string& head : heads) {
        quillbox::ParseMessageHead(head, store);
    }
}

quillbox::ContactBook MakeBook() {
    quillbox::ContactBook book;
    for (std::size_t i = 0; i < kCards; ++i) {
        std::string text;
        for (const char c : Model().CardFile(i)) {
            if (c != '\r') {
                text.push_back(c);
            }
        }
        quillbox::CardEntries entries;
        if (!quillbox::ParseCardText(text, entries)) {
            for (std::size_t e = 0; e < entries.Size(); ++e) {
                book.AddEntry(entries.Name(e), entries.Number(e));
            }
        }
    }
    return book;
}

quillbox::SortOrder OrderOf(const benchmark::State& state) {
    return state.range(0) != 0 ? quillbox::SortOrder::ByDate : quillbox::SortOrder::BySender;
}

void BM_Utf16ToCp936_MessageHead(benchmark::State& state) {
    std::vector<std::u16string> heads;
    std::size_t units = 0;
    for (std::size_t i = 0; i < kSampleCount; ++i) {
        heads.push_back(Model().MessageText(i));
        units += heads.back().size();
    }
    std::array<char, quillbox::kMessageCp936Bytes> narrow;
    std::size_t next = 0;
    for (auto _ : state) {
        const auto length = quillbox::platform::Utf16ToCp936(heads[next], narrow);
        benchmark::DoNotOptimize(length);
        next = (next + 1) % kSampleCount;
    }
    state.counters["units/head"] = static_cast<double>(units) / kSampleCount;
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(units * 2 / kSampleCount));
}
BENCHMARK(BM_Utf16ToCp936_MessageHead);

// The largest head the reader ever converts: 2048 units, mostly Chinese.
void BM_Utf16ToCp936_FullHead(benchmark::State& state) {
    std::u16string head;
    for (std::size_t i = 0; head.size() < quillbox::kMessageHeadUnits; ++i) {
        head.append(Model().MessageText(i));
    }
    head.resize(quillbox::kMessageHeadUnits);
    std::array<char, quillbox::kMessageCp936Bytes + 2> narrow;
    for (auto _ : state) {
        const auto length = quillbox::platform::Utf16ToCp936(head, narrow);
        benchmark::DoNotOptimize(length);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(head.size() * 2));
}
BENCHMARK(BM_Utf16ToCp936_FullHead);

void BM_ParseMessageText(benchmark::State& state) {
    std::vector<std::string> texts;
    for (std::size_t i = 0; i < kSampleCount; ++i) {
        texts.push_back(Narrow(Model().MessageText(i)));
    }
    std::size_t next = 0;
    for (auto _ : state) {
        quillbox::MessageFields fields;
        benchmark::DoNotOptimize(quillbox::FindMessageFields(texts[next], fields));
        benchmark::DoNotOptimize(quillbox::ParseMessageDate(fields.date));
        benchmark::DoNotOptimize(quillbox::NormalizedNumber(fields.number));
        next = (next + 1) % kSampleCount;
    }
}
BENCHMARK(BM_ParseMessageText);

// The TEL values exactly as the message files carry them, prefixes and all.
void BM_NormalizeNumber(benchmark::State& state) {
    std::vector<std::string> numbers;
    for (std::size_t i = 0; i < kSampleCount; ++i) {
        const std::string text = Narrow(Model().MessageText(i));
        const auto start = text.find("TEL:") + 4;
        numbers.push_back(text.substr(start, text.find('\n', start) - start));
    }
    std::size_t next = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(quillbox::NormalizeNumber(numbers[next]));
        next = (next + 1) % kSampleCount;
    }
}
BENCHMARK(BM_NormalizeNumber);

void BM_ParseMessageDate(benchmark::State& state) {
    std::vector<std::string> dates;
    for (std::size_t i = 0; i < kSampleCount; ++i) {
        const std::string text = Narrow(Model().MessageText(i));
        const auto start = text.find("Date:") + 5;
        dates.push_back(text.substr(start, text.find('\n', start) - start));
    }
    std::size_t next = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(quillbox::ParseMessageDate(dates[next]));
        next = (next + 1) % kSampleCount;
    }
}
BENCHMARK(BM_ParseMessageDate);

// --modern: the same messages as one export file of 50,000 blocks, UTF-8 (range 0, as Android
// writes it) or UTF-16LE (range 1, the classic files' encoding), and the cards as one .vcf.
constexpr std::size_t kExportMessages = 50000;

const std::string& MessageExport(bool utf16) {
    static const std::string little = [] {
        std::string bytes;
        for (std::size_t i = 0; i < kExportMessages; ++i) {
            for (const char16_t unit : Model().MessageText(i)) {
                bytes.push_back(static_cast<char>(unit & 0xFF));
                bytes.push_back(static_cast<char>(unit >> 8));
            }
        }
        return bytes;
    }();
    static const std::string utf8 = quillbox::vformat::Utf16FileText(little, false);
    return utf16 ? little : utf8;
}

void BM_ParseVMessages(benchmark::State& state) {
    const std::string& file = MessageExport(state.range(0) != 0);
    std::size_t messages = 0;
    for (auto _ : state) {
        quillbox::MessageBatch batch;
        quillbox::ParseVMessages(file, batch);
        messages = batch.messages.size();
        benchmark::DoNotOptimize(batch.messages.data());
    }
    state.counters["messages"] = static_cast<double>(messages);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(file.size()));
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(messages));
}
BENCHMARK(BM_ParseVMessages)->ArgName("utf16")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_ParseVCards(benchmark::State& state) {
    std::string file;
    for (std::size_t i = 0; i < kCards; ++i) {
        file += Model().CardFile(i);
    }
    std::size_t cards = 0;
    for (auto _ : state) {
        quillbox::CardBatch batch;
        quillbox::ParseVCards(file, batch);
        cards = batch.cards.size();
        benchmark::DoNotOptimize(batch.cards.data());
    }
    state.counters["cards"] = static_cast<double>(cards);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(file.size()));
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(cards));
}
BENCHMARK(BM_ParseVCards)->Unit(benchmark::kMillisecond);

// Range 0: 0 by sender, 1 by date. The copy handed to each call is made outside the timing.
void BM_OrderMessages(benchmark::State& state) {
    std::size_t count = 0;
    for (auto _ : state) {
        state.PauseTiming();
        quillbox::MessageStore store;
        FillStore(store);
        count = store.Messages().size();
        state.ResumeTiming();
        store.Order(OrderOf(state));
        benchmark::DoNotOptimize(store.Messages().data());
        state.PauseTiming();
        store = quillbox::MessageStore();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(count));
}
BENCHMARK(BM_OrderMessages)->ArgName("by_date")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

template <bool Html>
void BM_WriteArchive(benchmark::State& state) {
    quillbox::MessageStore ordered;
    FillStore(ordered);
    ordered.Order(OrderOf(state));
    quillbox::ContactBook book = MakeBook();
    const quillbox::ArchiveLayout layout{OrderOf(state), false};
    // The classic archive: the writer's text in code page 936, as a run writes it.
    const auto write = [&](quillbox::StringSink& sink) {
        quillbox::EncodingSink encoded(sink, quillbox::ArchiveEncoding::Gbk);
        if constexpr (Html) {
            quillbox::WriteHtmlArchive(encoded, ordered, book, layout, "gb2312");
        } else {
            quillbox::WriteTextArchive(encoded, ordered, book, layout);
        }
    };
    std::size_t bytes = 0;
    // One untimed pass first, which faults in the heap pages that the timed passes reuse.
    {
        quillbox::StringSink sink;
        write(sink);
    }
    for (auto _ : state) {
        quillbox::StringSink sink;
        write(sink);
        bytes = sink.Bytes().size();
        benchmark::DoNotOptimize(sink.Bytes().data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(bytes));
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(ordered.Messages().size()));
}
BENCHMARK(BM_WriteArchive<false>)
    ->Name("BM_WriteTextArchive")
    ->ArgName("by_date")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteArchive<true>)
    ->Name("BM_WriteHtmlArchive")
    ->ArgName("by_date")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond);

// Archive-sized strings stay on the heap between iterations instead of being mapped and unmapped
// each time: the page faults of a growing string belong to no engine piece, and the real run
// writes through a FileSink of 256 KiB. Set before main, so before any benchmark runs.
[[maybe_unused]] const bool kHeapKept = [] {
    ::mallopt(M_MMAP_MAX, 0);
    ::mallopt(M_TRIM_THRESHOLD, std::numeric_limits<int>::max());
    return true;
}();

}  // namespace

BENCHMARK_MAIN();
