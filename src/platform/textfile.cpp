#include "textfile.h"

namespace platform {

CFilePtr OpenFile(const std::string& path, const char* mode) {
    return CFilePtr(std::fopen(path.c_str(), mode));
}

int CTextModeReader::NextCharacter() {
    const int c = std::getc(m_file);
    if (c != '\r') {
        return c;
    }
    const int next = std::getc(m_file);
    if (next == '\n') {
        return '\n';
    }
    if (next != EOF) {
        std::ungetc(next, m_file);
    }
    return '\r';
}

bool CTextModeReader::ReadLine(std::string& line, std::size_t bufferSize) {
    line.clear();
    while (line.size() + 1 < bufferSize) {
        const int c = NextCharacter();
        if (c == EOF) {
            break;
        }
        line += static_cast<char>(c);
        if (c == '\n') {
            break;
        }
    }
    return !line.empty();
}

}  // namespace platform
