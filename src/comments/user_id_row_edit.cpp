#include "comments/user_id_row_edit.h"

#include <string>

#include "platform/text_conv.h"

UserIdRowEditResult endUserIdRowEdit(UserIdList& list, const UserIdRowEdit& edit) {
    if (edit.cancelled && !trimBlanks(edit.presentText).empty()) {
        return {UserIdRowAction::KeepPresentText, edit.rowId};
    }
    if (!edit.cancelled) {
        const std::string text = trimBlanks(edit.newText);
        if (!text.empty()) {
            return {UserIdRowAction::AcceptNewText, list.addOrUpdate(text, edit.rowId)};
        }
    }
    list.remove(edit.rowId);
    return {UserIdRowAction::DeleteRow, edit.rowId};
}
