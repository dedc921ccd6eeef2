#pragma once

// The editor as assistive technology sees it: an editable text with its lines, caret and
// selection, characters at points and their rectangles. Offsets count UTF-16 units of the
// lines joined with "\n".

namespace tessel {

class TCustomCodeEdit;

// Registers the editor's interface with Qt's accessibility (once; the editor calls it).
void InstallCodeEditAccessibility();
// Tells assistive technology about a caret move or a change of the text.
void NotifyCodeEditCaretMoved(TCustomCodeEdit& edit);
void NotifyCodeEditTextChanged(TCustomCodeEdit& edit);

}  // namespace tessel
