#include "message_order.h"

#include <algorithm>

namespace quillbox {

std::vector<MessageRecord> OrderMessages(std::vector<MessageRecord> messages, SortOrder order) {
    if (order == SortOrder::ByDate) {
        std::stable_sort(
            messages.begin(), messages.end(),
            [](const MessageRecord& a, const MessageRecord& b) { return a.dateKey > b.dateKey; });
    } else {
        // std::string compares bytes as unsigned values, and a proper prefix as the smaller.
        std::stable_sort(messages.begin(), messages.end(),
                         [](const MessageRecord& a, const MessageRecord& b) {
                             if (const int c = a.sender.compare(b.sender); c != 0) {
                                 return c > 0;
                             }
                             return a.dateKey > b.dateKey;
                         });
    }
    return messages;
}

}  // namespace quillbox
