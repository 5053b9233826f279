#include "pagebackup.h"

#include "model/fileselect.h"
#include "platform/fileops.h"
#include "repair/repairtext.h"

namespace {

enum class CBackupState { Ours, Missing, Taken, Refused };

CBackupState StateOf(const std::string& backup, const std::string& pageName) {
    switch (platform::KindOfPathItself(backup)) {
        case platform::CPathKind::Missing:
            return CBackupState::Missing;
        case platform::CPathKind::RegularFile: {
            const std::optional<std::string> owner = platform::FileNote(backup, kBackupOwnerNote);
            return !owner || *owner == pageName ? CBackupState::Ours : CBackupState::Taken;
        }
        case platform::CPathKind::Other:
            break;
    }
    return CBackupState::Refused;
}

}  // namespace

std::optional<std::string> EnsureBackup(
    const std::string& path, const std::optional<std::vector<std::string>>& folderFiles) {
    const std::string pageName = RepairFileName(path);
    for (const std::string& backup : {BackupName(path, folderFiles), path + kBackupSuffix}) {
        switch (StateOf(backup, pageName)) {
            case CBackupState::Ours:
                return backup;
            case CBackupState::Missing:
                if (!platform::CopyFile(path, backup, true)) {
                    return std::nullopt;
                }
                platform::SetFileNote(backup, kBackupOwnerNote, pageName);
                return backup;
            case CBackupState::Taken:
                continue;
            case CBackupState::Refused:
                return std::nullopt;
        }
    }
    return std::nullopt;
}
