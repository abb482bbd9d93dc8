#include <utility>
#include <vector>

#include "byte_sink.h"
#include "contact_book.h"
#include "file_reader.h"
#include "folder_scan.h"
#include "html_archive.h"
#include "message_order.h"
#include "quillbox/archive.h"
#include "text_archive.h"

namespace quillbox {

namespace {

bool Fail(RunFailure* failure, RunFailure::Stage stage, int systemError) {
    if (failure != nullptr) {
        *failure = {stage, systemError};
    }
    return false;
}

}  // namespace

bool GenerateArchive(std::string messageFolder, bool recurseMessages, std::string contactsFolder,
                     bool recurseContacts, std::string outputPath, bool html, SortOrder order,
                     RunFailure* failure) {
    if (failure != nullptr) {
        *failure = {};
    }
    if (outputPath.empty()) {
        return Fail(failure, RunFailure::Stage::EmptyOutputPath, 0);
    }

    // Lower-case extensions are separate scans from upper-case ones, and come first.
    std::vector<std::string> cardFiles;
    std::vector<std::string> messageFiles;
    CollectFiles(contactsFolder, cardFiles, "vcf", recurseContacts);
    CollectFiles(contactsFolder, cardFiles, "VCF", recurseContacts);
    CollectFiles(messageFolder, messageFiles, "vmg", recurseMessages);
    CollectFiles(messageFolder, messageFiles, "VMG", recurseMessages);

    CFileReader fileReader;
    IFileReader& reader = fileReader;

    // All cards before the first message. A card that fails contributes none of its entries.
    ContactBook book;
    std::vector<ContactEntry> entries;
    for (const std::string& path : cardFiles) {
        entries.clear();
        if (reader.ReadContacts(&entries, path)) {
            for (const ContactEntry& entry : entries) {
                book.AddEntry(entry);
            }
        }
    }

    std::vector<MessageRecord> messages;
    messages.reserve(messageFiles.size());
    for (const std::string& path : messageFiles) {
        MessageRecord record;
        if (reader.ReadMessage(&record, path)) {
            messages.push_back(std::move(record));
        }
    }
    messageFiles = {};
    cardFiles = {};

    FileSink sink;
    if (!sink.Open(outputPath)) {
        return Fail(failure, RunFailure::Stage::OpenOutput, sink.LastError());
    }
    const std::vector<MessageRecord> ordered = OrderMessages(std::move(messages), order);
    if (html) {
        WriteHtmlArchive(sink, ordered, book, order);
    } else {
        WriteTextArchive(sink, ordered, book, order);
    }
    if (!sink.Close()) {
        return Fail(failure, RunFailure::Stage::WriteOutput, sink.LastError());
    }
    return true;
}

}  // namespace quillbox
