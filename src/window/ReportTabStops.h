#pragma once
// gstat aligns the values of its header report with tabs meant for stops every
// eight columns, as in a terminal; a text box's own tab distance leaves them ragged.

class QPlainTextEdit;

namespace morvane {

// Sets the box's tab stops to eight character widths of its font, and again each
// time its font changes.
void KeepTerminalTabStops(QPlainTextEdit* box);

} // namespace morvane
