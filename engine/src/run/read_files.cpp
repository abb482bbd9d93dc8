// SPDX-License-Identifier: MIT
#include "run/read_files.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace quillbox {

namespace {

// Enough files that a chunk's overhead vanishes, few enough that the threads share the work out
// evenly and a chunk's texts stay small.
constexpr std::size_t kChunkFiles = 256;
// A chunk's messages lie in blocks of this size until the run's store copies them into its own.
constexpr std::size_t kChunkBlockBytes = 32 * 1024;

class ChunkReader {
public:
    explicit ChunkReader(const ReadSettings& settings) : settings_(settings) {}

    void Read(const FileList& list, ReadChunk& chunk, std::size_t first, std::size_t last) {
        chunk.first = first;
        chunk.inputs.resize(last - first);
        // A stopped run drops the chunk: the files after the stop are not even opened.
        for (std::size_t i = first; i < last && !settings_.Cancelled(); ++i) {
            ReadOne(list.At(i), chunk.items, chunk.inputs[i - first]);
        }
    }

private:
    void ReadOne(const ListedFile& listed, Items& items, InputOutcome& outcome) {
        folder_.Hold(listed.folder);
        platform::InputFile file;
        outcome.open = file.Open(folder_, listed.name, listed.kind, listed.id);
        if (outcome.open != platform::InputFile::Outcome::Opened) {
            outcome.openError = file.LastError();
            return;
        }
        outcome.id = file.Id();
        outcome.cardsBegin = items.cards.Size();
        outcome.messagesBegin = items.messages.Size();
        outcome.namesBegin = items.names.size();
        Input input{file, listed.folder, listed.name, settings_, scratch_};
        outcome.result = ReaderFor(listed.input)(input, items);
        outcome.cardsEnd = items.cards.Size();
        outcome.messagesEnd = items.messages.Size();
        outcome.namesEnd = items.names.size();
    }

    const ReadSettings& settings_;
    platform::OpenFolder folder_;
    std::string scratch_;  // the file read whole last, its storage reused
};

}  // namespace

void ReadFiles(const FileList& list, const ReadSettings& settings, unsigned jobs,
               const std::function<bool(ReadChunk&)>& take) {
    const std::size_t count = list.Size();
    const std::size_t chunks = (count + kChunkFiles - 1) / kChunkFiles;
    const auto bounds = [&](std::size_t k) {
        return std::pair{k * kChunkFiles, std::min(count, (k + 1) * kChunkFiles)};
    };
    const auto newChunk = [] {
        auto chunk = std::make_unique<ReadChunk>();
        chunk->items.messages = MessageStore(kChunkBlockBytes);
        return chunk;
    };
    const unsigned threads = static_cast<unsigned>(std::min<std::size_t>(jobs, chunks));
    if (threads <= 1) {
        ChunkReader reader(settings);
        for (std::size_t k = 0; k < chunks; ++k) {
            const auto chunk = newChunk();
            const auto [first, last] = bounds(k);
            reader.Read(list, *chunk, first, last);
            if (!take(*chunk)) {
                return;
            }
        }
        return;
    }

    // Each worker takes the next chunk to read; the calling thread takes the chunks in order as
    // they are done. A chunk's slot is filled by one worker under the lock, then emptied by this
    // thread alone. A mutex and a condition, not atomic wait: MinGW's libstdc++ has no native wait
    // and its fallback can miss a wake-up, which hung a stopped run on Windows.
    std::vector<std::unique_ptr<ReadChunk>> slots(chunks);
    std::mutex mutex;
    std::condition_variable filled;
    std::atomic<std::size_t> next{0};
    std::atomic<bool> stop{false};
    {
        std::vector<std::jthread> workers;
        workers.reserve(threads);
        for (unsigned t = 0; t < threads; ++t) {
            workers.emplace_back([&] {
                ChunkReader reader(settings);
                for (;;) {
                    const std::size_t k = next.fetch_add(1, std::memory_order_relaxed);
                    if (k >= chunks || stop.load(std::memory_order_relaxed)) {
                        return;
                    }
                    auto chunk = newChunk();
                    const auto [first, last] = bounds(k);
                    reader.Read(list, *chunk, first, last);
                    {
                        const std::lock_guard lock(mutex);
                        slots[k] = std::move(chunk);
                    }
                    filled.notify_all();
                }
            });
        }
        for (std::size_t k = 0; k < chunks; ++k) {
            std::unique_ptr<ReadChunk> chunk;
            {
                std::unique_lock lock(mutex);
                filled.wait(lock, [&] { return slots[k] != nullptr; });
                chunk = std::move(slots[k]);
            }
            if (!take(*chunk)) {
                stop.store(true, std::memory_order_relaxed);
                break;
            }
        }
        // The workers end with their chunk; a stopped run waits for those in flight only.
    }
}

}  // namespace quillbox
