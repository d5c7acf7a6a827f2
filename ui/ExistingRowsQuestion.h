#pragma once

#include <string>

#include "migration/target/DialogTarget.h"

class wxWindow;

// The question before rows are added to target tables that already hold some, in Japanese
// (the dialog's own language, in every locale): which tables hold how many rows, and what
// each answer does. Without canReplace it offers no 置き換える and says why.
std::string ExistingRowsQuestion(const CExistingRows& existing);

// Asks it in a modal box over parent: 置き換える, 追加する, キャンセル (the default; Esc and the
// close box too).
ExistingRowsChoice ShowExistingRowsQuestion(wxWindow* parent, const CExistingRows& existing);
