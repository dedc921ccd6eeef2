#pragma once

// The editor control (TCustomCodeEdit) and its colour settings.

#include <QAbstractScrollArea>
#include <QRect>
#include <QTimer>
#include <array>
#include <functional>
#include <memory>
#include <string>

#include "editor/CodeEditKeyCmds.h"
#include "editor/CodeEditMarks.h"
#include "editor/CodeEditStringList.h"
#include "editor/CodeEditTypes.h"
#include "editor/CodeEditUndo.h"
#include "editor/widget/CodeEditGutter.h"
#include "editor/widget/TextDrawer.h"
#include "highlight/Highlighter.h"

class QPainter;

namespace tessel {

class TCustomCodeEdit;

// The colours of selected text; a change raises OnChange.
class TSelectedColor {
public:
    TColor Background() const { return background_; }
    TColor Foreground() const { return foreground_; }
    void SetBackground(TColor value);
    void SetForeground(TColor value);
    void Assign(const TSelectedColor& source);
    std::function<void()> OnChange;

private:
    TColor background_ = clHighlight;
    TColor foreground_ = clHighlightText;
};

using TProcessCommandEvent =
    std::function<void(TCustomCodeEdit* sender, TCodeEditorCommand& command, char32_t& ch, void* payload)>;
// How SearchReplace looks for its text.
enum TSearchOption : unsigned {
    ssoMatchCase = 1,
    ssoWholeWord = 2,
    ssoBackwards = 4,
    ssoSelectedOnly = 8,
    ssoReplace = 16,
    ssoReplaceAll = 32,
};
using TSearchOptions = unsigned;

using TStatusChangeEvent = std::function<void(TCustomCodeEdit* sender, TStatusChanges changes)>;
using TKeyDownEvent = std::function<void(TCustomCodeEdit* sender, uint16_t& key, TShiftState shift)>;
using TKeyPressEvent = std::function<void(TCustomCodeEdit* sender, char32_t& ch)>;
using TContextHelpEvent = std::function<void(TCustomCodeEdit* sender, const std::string& word)>;
using TPaintEvent = std::function<void(TCustomCodeEdit* sender, QPainter& canvas)>;
using TPaintTransientEvent = std::function<void(TCustomCodeEdit* sender, QPainter* canvas, int transientType)>;
using TSpecialLineColorsEvent =
    std::function<void(TCustomCodeEdit* sender, int line, bool& special, TColor& fg, TColor& bg)>;

using TGutterClickEvent = std::function<void(TCustomCodeEdit* sender, int x, int y, int line, TCodeEditMark* mark)>;
using TPlaceMarkEvent = std::function<void(TCustomCodeEdit* sender, TCodeEditMark*& mark)>;

// A failure of the editor's clipboard exchange.
class ECodeEditError : public Exception {
public:
    using Exception::Exception;
};

// The clipboard type that carries a block with its selection mode: one mode byte, the text and
// a zero byte.
inline constexpr const char* CodeEditClipboardMimeType = "application/x-tessel-codeedit-block";

// Transient notices around caret and text changes.
enum TTransientType : uint8_t { ttBefore = 0, ttAfter = 1 };

// The SQL editor control: a buffer of lines shown in a fixed character grid with the
// highlighter's colours, a caret, a selection in three modes, scrolling and mouse handling.
// Keys become commands through the keystroke table; every command runs through
// ProcessEditorCommand.
//
// Coordinates: text positions are (column, line) from 1, the column counting characters of
// the line (a tab is one); display columns count cells after tab expansion.
class TCustomCodeEdit : public QAbstractScrollArea, public TCodeEditMarkOwner {
    Q_OBJECT

public:
    explicit TCustomCodeEdit(QWidget* parent = nullptr);
    ~TCustomCodeEdit() override;

    // --- text --------------------------------------------------------------------------------
    TCodeEditStringList& Lines() { return *lines_; }
    const TCodeEditStringList& Lines() const { return *lines_; }
    // Copies the source's lines into the buffer.
    void SetLines(const TStrings& source) { lines_->Assign(source); }
    // Lines joined by CR LF, each followed by one.
    std::string Text() const { return lines_->Text(); }
    void SetText(const std::string& text) { lines_->SetText(text); }
    std::string LineText() const;
    void SetLineText(const std::string& text);

    // --- caret ---------------------------------------------------------------------------------
    TBufferCoord CaretXY() const { return caret_; }
    int CaretX() const { return caret_.Column; }
    int CaretY() const { return caret_.Line; }
    void SetCaretXY(TBufferCoord p) { SetCaretXYEx(p, true); }
    void SetCaretX(int column) { SetCaretXY({column, caret_.Line}); }
    void SetCaretY(int line) { SetCaretXY({caret_.Column, line}); }
    virtual void SetCaretXYEx(TBufferCoord p, bool ensureVisible);
    int DesiredColumn() const { return desiredColumn_; }
    // The caret's rectangle in viewport pixels (empty while it is hidden).
    QRect CaretRect() const;
    bool CaretShown() const { return caretShown_; }

    // --- selection -----------------------------------------------------------------------------
    TBufferCoord SelAnchor() const { return selAnchor_; }
    TBufferCoord SelActive() const { return selActive_; }
    void SetSelAnchor(TBufferCoord p);
    void SetSelActive(TBufferCoord p);
    TBufferCoord SelStartPos() const { return selActive_ < selAnchor_ ? selActive_ : selAnchor_; }
    TBufferCoord SelEndPos() const { return selActive_ < selAnchor_ ? selAnchor_ : selActive_; }
    bool HasSelection() const;
    std::string SelectedText() const;
    TSelectionMode SelectionMode() const { return selectionMode_; }
    void SetSelectionMode(TSelectionMode mode);
    void SetCaretAndSelect(TBufferCoord caret, TBufferCoord anchor, TBufferCoord active);
    void MoveCaretAndSelect(TBufferCoord from, TBufferCoord to, bool extend);
    void SelectAll();
    // Selects the word at p (double click).
    void SelectWordAt(TBufferCoord p);
    // Whether p lies inside the selection (its start inside, its end outside).
    bool IsPointInSelection(TBufferCoord p) const;

    // --- coordinates ---------------------------------------------------------------------------
    TDisplayCoord LogicalToDisplay(TBufferCoord p) const;
    TBufferCoord DisplayToLogical(TDisplayCoord p) const;
    TBufferCoord PixelToPosition(int x, int y) const;
    QPoint PositionToPixel(TBufferCoord p) const;
    int ColumnToX(int displayColumn) const { return (displayColumn - 1) * charWidth_ + TextOrigin(); }

    // --- view ----------------------------------------------------------------------------------
    int FirstVisibleLine() const { return firstVisibleLine_; }
    void SetFirstVisibleLine(int line);
    int FirstVisibleColumn() const { return firstVisibleColumn_; }
    void SetFirstVisibleColumn(int column);
    int VisibleLineCount() const { return visibleLineCount_; }
    int VisibleColumnCount() const { return visibleColumnCount_; }
    int LineHeight() const { return lineHeight_; }
    int CharWidth() const { return charWidth_; }
    int GutterPixelWidth() const { return gutterWidth_; }
    int TextOrigin() const { return gutterWidth_ + 2 - (firstVisibleColumn_ - 1) * charWidth_; }
    void EnsureCaretVisible(bool middle = false);

    // Repaint requests; lines are 1-based, (-1, -1) means everything.
    void InvalidateLines(int first, int last);
    void InvalidateGutterLines(int first, int last);
    void InvalidateLine(int line) { InvalidateLines(line, line); }
    void InvalidateAll();

    void BeginPaintLock() { ++paintLockCount_; }
    void EndPaintLock();
    int PaintLockCount() const { return paintLockCount_; }

    // --- commands ------------------------------------------------------------------------------
    TCodeEditKeyStrokes& Keystrokes() { return keystrokes_; }
    // Null clears the table.
    void SetKeystrokes(const TCodeEditKeyStrokes* value);
    void ResetKeystrokes() { keystrokes_.ResetKeystrokes(); }
    TCodeEditorCommand TranslateKey(uint16_t key, TShiftState shift);
    virtual void ProcessEditorCommand(TCodeEditorCommand command, char32_t ch, void* payload);
    virtual void ExecuteEditorCommand(TCodeEditorCommand command, char32_t ch, void* payload);
    // Runs one key down as the keyboard does: OnKeyDown, the keystroke table, the command.
    // True when the key became a command.
    bool KeyDown(uint16_t key, TShiftState shift);
    // One typed character: dropped after a key that was a command, else OnKeyPress and ecChar.
    void KeyPress(char32_t ch);
    bool IgnoreNextChar() const { return ignoreNextChar_; }

    // --- properties ----------------------------------------------------------------------------
    TCodeEditorOptions Options() const { return options_; }
    void SetOptions(TCodeEditorOptions value);
    bool HasOption(TCodeEditorOption o) const { return (options_ & OptionBit(o)) != 0; }
    bool ReadOnly() const { return readOnly_; }
    virtual void SetReadOnly(bool value);
    bool InsertMode() const { return insertMode_; }
    void SetInsertMode(bool value);
    TCaretType InsertCaret() const { return insertCaret_; }
    void SetInsertCaret(TCaretType value);
    TCaretType OverwriteCaret() const { return overwriteCaret_; }
    void SetOverwriteCaret(TCaretType value);
    int MaxLeftChar() const { return maxLeftChar_; }
    void SetMaxLeftChar(int value);
    // The column limit in force: MaxLeftChar, or the longest line + 1 when longer, never more
    // than 32767, so every character of a loaded text can be reached.
    int ColumnLimit() const;
    int RightEdge() const { return rightEdge_; }
    void SetRightEdge(int value);
    TColor RightEdgeColor() const { return rightEdgeColor_; }
    void SetRightEdgeColor(TColor value);
    int TabWidth() const { return tabWidth_; }
    void SetTabWidth(int value);
    bool WantTabs() const { return wantTabs_; }
    void SetWantTabs(bool value) { wantTabs_ = value; }
    bool HideSelection() const { return hideSelection_; }
    void SetHideSelection(bool value);
    int ExtraLineSpacing() const { return extraLineSpacing_; }
    void SetExtraLineSpacing(int value);
    TScrollStyle ScrollBars() const { return scrollBars_; }
    void SetScrollBars(TScrollStyle value);
    TScrollHintFormat ScrollHintFormat() const { return scrollHintFormat_; }
    void SetScrollHintFormat(TScrollHintFormat value) { scrollHintFormat_ = value; }
    TColor ScrollHintColor() const { return scrollHintColor_; }
    void SetScrollHintColor(TColor value) { scrollHintColor_ = value; }
    TSelectedColor& SelectedColor() { return selectedColor_; }
    TColor Color() const { return color_; }
    void SetColor(TColor value);
    TColor FontColor() const { return fontColor_; }
    void SetFontColor(TColor value);
    // A font of proportional pitch keeps the editor's own fixed-pitch family and takes only
    // the size and style.
    void SetEditorFont(const QFont& font);
    TCustomHighlighter* Highlighter() const { return highlighter_; }
    // Not owned; the highlighter must outlive the editor or be detached first.
    void SetHighlighter(TCustomHighlighter* value);
    bool IsModified() const { return modified_; }
    // After a load or a save: the text is what the file holds.
    void SetModified(bool value);

    // --- editing -------------------------------------------------------------------------------
    // Replaces the selection as one undoable change.
    void SetSelectedText(const std::string& text);
    // Replaces the whole text as one undoable change (select all, replace).
    void ReplaceAllText(const std::string& text);
    // Empties the buffer, the marks and the bookmarks and the undo list; not modified after.
    void ClearAll();
    void CopyToClipboard();
    void CutToClipboard();
    void PasteFromClipboard();
    bool CanUndo() const { return !readOnly_ && undoList_.HasItems(); }
    bool CanRedo() const { return !readOnly_ && redoList_.HasItems(); }
    void Undo() { ProcessEditorCommand(ecUndo, 0, nullptr); }
    void Redo() { ProcessEditorCommand(ecRedo, 0, nullptr); }
    TCodeEditUndoList& UndoList() { return undoList_; }
    TCodeEditUndoList& RedoList() { return redoList_; }
    int MaxUndo() const { return undoList_.Limit(); }
    // A negative value is ignored.
    void SetMaxUndo(int value);

    // --- search and replace --------------------------------------------------------------------
    // Finds `search` (on one line; case and whole words as `options` say) after the caret, or
    // before the selection's start with ssoBackwards, going round the text once, and selects it.
    // With ssoReplace a selection that is a match is replaced first; with ssoReplaceAll every
    // match in the scope (the text, or the selection with ssoSelectedOnly) is replaced as one
    // undoable change. Returns the matches found (selected or replaced).
    int SearchReplace(const std::string& search, const std::string& replacement, TSearchOptions options);
    // Whether the search found its match only after going round the end (or the start).
    bool SearchWrapped() const { return searchWrapped_; }

    // --- gutter and marks ----------------------------------------------------------------------
    TGutter& Gutter() { return gutter_; }
    TBookMarkOpt& BookMarkOptions() { return bookMarkOpt_; }
    TCodeEditMarkList& Marks() { return marks_; }
    const TCodeEditMarkList& MarkList() const override { return marks_; }
    void InvalidateGutterLine(int line) override { InvalidateGutterLines(line, line); }
    void InvalidateGutter() { InvalidateGutterLines(-1, -1); }
    // Slot n's bookmark, or null.
    TCodeEditMark* BookMark(int n) const { return n >= 0 && n <= 9 ? bookmarks_[static_cast<size_t>(n)] : nullptr; }
    // Whether bookmark n is set; its position when it is.
    bool GetBookMark(int n, int& column, int& line) const;
    void SetBookMark(int n, int column, int line);
    void ClearBookMark(int n);
    void GotoBookMark(int n);
    void ShiftMarksForDeletedLines(int first, int count);
    void ShiftMarksForInsertedLines(int first, int count);
    void SetGutterWidth(int width);

    // Line states kept valid for the highlighter: RescanFrom scans from line index k until a
    // line's stored state agrees and returns the last line index it scanned.
    int RescanFrom(int index);
    void RescanAll();
    // How many lines the highlighter has scanned since construction (for tests and benchmarks).
    long ScannedLines() const { return scannedLines_; }

    TheTextDrawer& TextDrawer() { return *drawer_; }
    // Renders the whole viewport into an image (tests and benchmarks).
    QImage RenderToImage();

    // --- events --------------------------------------------------------------------------------
    std::function<void(TCustomCodeEdit*)> OnChange;
    TProcessCommandEvent OnProcessCommand;
    TProcessCommandEvent OnProcessUserCommand;
    TProcessCommandEvent OnCommandProcessed;
    TKeyDownEvent OnKeyDown;
    TKeyPressEvent OnKeyPress;
    TContextHelpEvent OnContextHelp;
    TStatusChangeEvent OnStatusChange;
    TPaintEvent OnPaint;
    TPaintTransientEvent OnPaintTransient;
    TSpecialLineColorsEvent OnSpecialLineColors;
    std::function<void(TCustomCodeEdit*, int x, int y, const std::vector<std::string>& files)> OnDropFiles;
    TGutterClickEvent OnGutterClick;
    TPlaceMarkEvent OnPlaceBookmark;
    TPlaceMarkEvent OnClearBookmark;

    // Transient notices; `locked` ones nest (only the outermost pair fires).
    void DoOnPaintTransient(TTransientType type, bool locked = false);
    void StatusChanged(TStatusChanges changes);

protected:
    // QWidget
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    bool focusNextPrevChild(bool next) override;

    // Painting, in the order the paint request runs them.
    virtual void PaintGutter(QPainter& painter, const QRect& rect, int firstLine, int lastLine);
    virtual void PaintTextLines(QPainter& painter, QRect area, int firstLine, int lastLine, int firstCol, int lastCol);
    // Gutter click at a viewport point (the gutter handles it).
    virtual void GutterClick(int x, int y, int line);
    // Starts dragging the selection with the mouse.
    virtual void StartDragOperation();
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

    // Undo list hooks: a break between typing groups and emptying both lists.
    virtual void AddUndoBreak() { undoList_.AddBreak(); }
    virtual void ClearUndoLists() {
        undoList_.Clear();
        redoList_.Clear();
    }
    void UndoGroup();
    void RedoGroup();
    void UndoOneItem();
    void RedoOneItem();

    virtual void DoOnPlaceBookmark(TCodeEditMark*& mark) {
        if (OnPlaceBookmark) OnPlaceBookmark(this, mark);
    }
    virtual void DoOnClearBookmark(TCodeEditMark*& mark) {
        if (OnClearBookmark) OnClearBookmark(this, mark);
    }
    void GutterChanged();

    // The text-replacement steps of the commands.
    void ReplaceSelectionRaw(TSelectionMode mode, std::string_view text, bool recordColumn = true);
    void ReplaceSelection(std::string_view text);
    void DeleteSelectionRecorded();
    void InsertColumnBlock(TBufferCoord topLeft, std::string_view text, bool record);
    // Sets caret, anchor and active end directly (clamped to the buffer), without the
    // normal-mode clamping of the selection setters.
    void PlaceSelection(TBufferCoord caret, TBufferCoord anchor, TBufferCoord active);

    // The measured grid after a font or highlighter change.
    void RecalcCharExtent();
    void UpdateScrollBars();
    void UpdateCaret();
    void SizeOrFontChanged(bool fontChanged);
    TCharSet WordChars() const;

    void MoveCaretHorz(int columns, bool select);
    void MoveCaretVert(int lines, bool select);
    void MoveCaretToLineStart(bool select);
    void FindMatchingBracket();

    // Set by the gutter.
    int gutterWidth_ = 0;

private:
    void ReplayGroup(TCodeEditUndoList& from, TCodeEditUndoList& to, void (TCustomCodeEdit::*one)());
    // Buffer notifications.
    void LinesChanging();
    void LinesChanged();
    void LineAdded(int index, const std::string& s);
    void LineInserted(int index, const std::string& s);
    void LineDeleted(int index);
    void LinePut(int index, const std::string& s);
    void LinesCleared();
    void RescanAround(int index);
    void GrowColumnLimit(const std::string& s);
    // Lets the caret stand at `column` (after typed text, whose trailing blanks a trimmed line
    // does not hold), up to the hard limit.
    void MakeRoomForCaret(int column);
    void HighlighterChanged();

    void DoStatusChange();
    void InvalidateRect(const QRect& rect);
    void ScrollTimerTick();
    void ComputeScrollDeltas(int x, int y);
    void UpdateMouseCursor(const QPoint& pos);
    void BlinkCaret();
    void ShowScrollHint();
    QRect CaretShapeRect(const QPoint& topLeft) const;

    // The editing commands, clipboard, undo and bookmark commands.
    bool ExecuteEditing(TCodeEditorCommand command, char32_t ch, void* payload);
    void TypeChar(char32_t ch);
    void ReplaceSelectionTyped(const std::string& s);
    void TypeString(const std::string& s);
    void DeleteLastChar();
    void DeleteChar();
    void DeleteTo(TBufferCoord target, bool after);
    void DeleteLine();
    void LineBreak(bool moveCaret);
    void BlockIndent();
    void BlockUnindent();
    void InsertTab();
    void ShiftTab();
    void ChangeCase(TCodeEditorCommand command);
    void SetMarkerCommand(int n, const TBufferCoord* at);
    void ItemAdded(TCodeEditUndoList* sender);
    std::string LineAt(int line) const;
    int LeadingWhite(std::string_view s) const;
    int LeadingWidth(std::string_view s) const;
    std::string IndentString(int n) const;
    void PutClipboard(const std::string& text);
    void ScrollRightForTyping();
    void DrawMarks(QPainter& painter, int firstLine, int lastLine);

    std::unique_ptr<TCodeEditStringList> lines_;
    std::unique_ptr<TheTextDrawer> drawer_;
    TCustomHighlighter* highlighter_ = nullptr;
    TCodeEditKeyStrokes keystrokes_;
    TCodeEditKeyTranslator keyTranslator_;

    TBufferCoord caret_;
    int desiredColumn_ = 1;
    TBufferCoord selAnchor_;
    TBufferCoord selActive_;
    TSelectionMode selectionMode_ = smNormal;

    int firstVisibleLine_ = 1;
    int firstVisibleColumn_ = 1;
    int visibleLineCount_ = 0;
    int visibleColumnCount_ = 0;
    int lineHeight_ = 1;
    int charWidth_ = 1;

    int paintLockCount_ = 0;
    TStatusChanges pendingStatus_ = 0;
    QRect collectedInvalid_;
    bool caretUpdatePending_ = false;
    bool scrollBarsPending_ = false;
    bool linesChanging_ = false;
    bool ignoreNextChar_ = false;
    bool caretShown_ = false;
    bool caretBlinkOn_ = true;
    bool doubleClicked_ = false;
    bool gutterClickPending_ = false;
    bool waitForDrag_ = false;
    bool mouseCaptured_ = false;
    bool settingScrollBars_ = false;
    QPoint caretPixel_{-1, -1};
    QPoint mouseDownPos_;
    QPoint lastMousePos_;
    Qt::KeyboardModifiers lastMouseModifiers_;
    int scrollDeltaX_ = 0;
    int scrollDeltaY_ = 0;
    int wheelAccumulator_ = 0;
    int transientLockCount_ = 0;
    long scannedLines_ = 0;

    TCodeEditUndoList undoList_;
    TCodeEditUndoList redoList_;
    bool insideRedo_ = false;
    TGutter gutter_;
    TBookMarkOpt bookMarkOpt_;
    TCodeEditMarkList marks_;
    std::array<TCodeEditMark*, 10> bookmarks_{};
    std::unique_ptr<TInternalImage> internalImage_;
    // Drag and drop of the selection: where a drop would go, and whether the drag is ours.
    TBufferCoord dropCaret_;
    bool dragging_ = false;
    bool dropMoved_ = false;

    TCodeEditorOptions options_ = CodeEditDefaultOptions;
    bool readOnly_ = false;
    bool insertMode_ = true;
    bool modified_ = false;
    TCaretType insertCaret_ = ctVerticalLine;
    TCaretType overwriteCaret_ = ctBlock;
    int maxLeftChar_ = 1024;
    bool searchWrapped_ = false;
    mutable int columnLimit_ = 1024;
    mutable bool columnLimitStale_ = false;
    int rightEdge_ = 80;
    TColor rightEdgeColor_ = clSilver;
    int tabWidth_ = 8;
    bool wantTabs_ = false;
    bool hideSelection_ = false;
    int extraLineSpacing_ = 0;
    TScrollStyle scrollBars_ = ssBoth;
    TScrollHintFormat scrollHintFormat_ = shfTopLineOnly;
    TColor scrollHintColor_ = clInfoBk;
    TSelectedColor selectedColor_;
    TColor color_ = clWindow;
    TColor fontColor_ = clWindowText;

    QTimer scrollTimer_;
    QTimer blinkTimer_;
};

// The editor with its properties published (the form's MemoPad).
class TCodeEdit : public TCustomCodeEdit {
    Q_OBJECT

public:
    using TCustomCodeEdit::TCustomCodeEdit;
};

}  // namespace tessel
