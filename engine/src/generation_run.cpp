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

    // Lower-case extensions come first, then upper-case ones.
    FileList cardFiles;
    FileList messageFiles;
    CollectFiles(contactsFolder, cardFiles, "vcf", "VCF", recurseContacts);
    CollectFiles(messageFolder, messageFiles, "vmg", "VMG", recurseMessages);

    // All cards before the first message. A card that fails contributes none of its entries.
    platform::FolderFileReader files;
    ContactBook book;
    std::vector<ContactEntry> entries;
    for (std::size_t i = 0; i < cardFiles.Size(); ++i) {
        entries.clear();
        if (ReadContactsFile(entries, files, cardFiles.At(i))) {
            for (const ContactEntry& entry : entries) {
                book.AddEntry(entry);
            }
        }
    }
    cardFiles.Clear();

    MessageStore messages;
    messages.Reserve(messageFiles.Size());
    for (std::size_t i = 0; i < messageFiles.Size(); ++i) {
        ReadMessageFile(messages, files, messageFiles.At(i));
    }
    messageFiles.Clear();

    FileSink sink;
    if (!sink.Open(outputPath)) {
        return Fail(failure, RunFailure::Stage::OpenOutput, sink.LastError());
    }
    messages.Order(order);
    if (html) {
        WriteHtmlArchive(sink, messages, book, order);
    } else {
        WriteTextArchive(sink, messages, book, order);
    }
    if (!sink.Close()) {
        return Fail(failure, RunFailure::Stage::WriteOutput, sink.LastError());
    }
    return true;
}

}  // namespace quillbox
