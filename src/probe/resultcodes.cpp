#include "resultcodes.h"

std::optional<std::size_t> ResultCodeIndex(ResultCode code) {
    for (std::size_t index = 0; index < kResultCodes.size(); ++index) {
        if (kResultCodes[index].code == code) {
            return index;
        }
    }
    return std::nullopt;
}

bool FilterReports(std::string_view filter, ResultCode code) {
    const std::optional<std::size_t> index = ResultCodeIndex(code);
    if (!index || *index >= filter.size()) {
        return true;
    }
    return filter[*index] != '0';
}

std::optional<std::string_view> ExtendedReasonText(ResultCode code) {
    for (const CResultCodeEntry& entry : kExtendedResultCodes) {
        if (entry.code == code) {
            return entry.reasonText;
        }
    }
    return std::nullopt;
}
