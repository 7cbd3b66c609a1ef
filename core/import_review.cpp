#include "core/import_review.h"

std::vector<std::string> ImportReview::messages(int row, ImportMessageKind kind) const
{
    const std::string prefix = "Row " + std::to_string(row) + ":";
    std::vector<std::string> result;
    for (const std::string &message : kind == ImportMessageKind::error ? errors : warnings) {
        if (message.starts_with(prefix))
            result.push_back(message);
    }
    return result;
}
