#include "model/PromptScript.h"

namespace quorvia {

bool PromptScript::mergeKeynoteNotesBackup(const KeynotePresenterNotesBackup& backup)
{
    if (keynoteNotesBackup_) {
        if (!keynoteNotesBackup_->matches(backup.documentName, backup.documentPath, backup.slideCount))
            return false;
        // A stored note is never overwritten; only slides it lacks are added.
        for (const auto& [slide, text] : backup.notesBySlide)
            keynoteNotesBackup_->notesBySlide.try_emplace(slide, text);
    } else {
        keynoteNotesBackup_ = backup;
    }
    save();
    notifyNotesBackupChanged();
    return true;
}

void PromptScript::clearKeynoteNotesBackup()
{
    if (!keynoteNotesBackup_)
        return;
    keynoteNotesBackup_.reset();
    save();
    notifyNotesBackupChanged();
}

} // namespace quorvia
