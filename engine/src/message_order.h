#pragma once

#include <vector>

#include "quillbox/archive.h"

namespace quillbox {

// By date: newest first. By sender: senders in descending byte order (an empty sender last),
// each sender's messages newest first. Ties keep the reading order.
std::vector<MessageRecord> OrderMessages(std::vector<MessageRecord> messages, SortOrder order);

}  // namespace quillbox
