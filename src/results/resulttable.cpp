#include "resulttable.h"

void CResultTable::AddResult(const std::string& text, int part, const std::string& currentFile,
                             std::uint32_t code) {
    switch (part) {
        case 0:
            m_rows.push_back(CResultRow{{text, "", "", ""}, 0, code, {}});
            break;
        case 1:
            if (!m_rows.empty()) {
                m_rows.back().cells[kColumnReason] = text;
            }
            break;
        case 2:
            if (!m_rows.empty()) {
                m_rows.back().cells[kColumnSiteName] = text;
                m_rows.back().cells[kColumnFile] = currentFile;
            }
            break;
        default:
            break;
    }
}

void CResultTable::AddResultPlace(const CLinkPlace& place) {
    if (!m_rows.empty()) {
        m_rows.back().place = place;
    }
}

void CResultTable::AddResultMove(const std::string& movedTo) {
    if (!m_rows.empty()) {
        m_rows.back().movedTo = movedTo;
    }
}
