// The editor's accessible interface.

#include "editor/widget/CodeEditAccessible.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QScrollBar>
#include <algorithm>

#include "editor/widget/CustomCodeEdit.h"

namespace tessel {

namespace {

QString LineText(const TCustomCodeEdit& e, int line) {
    return QString::fromStdString(e.Lines().Get(line - 1));
}

class TCodeEditAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit TCodeEditAccessible(TCustomCodeEdit* edit) : QAccessibleWidget(edit, QAccessible::EditableText) {}

    void* interface_cast(QAccessible::InterfaceType t) override {
        if (t == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(t);
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.editable = !Edit().ReadOnly();
        s.readOnly = Edit().ReadOnly();
        s.multiLine = true;
        s.selectableText = true;
        return s;
    }
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value) return AllText();
        return QAccessibleWidget::text(t);
    }

    // --- positions -------------------------------------------------------------------------
    // A buffer position (line and code-point column, from 1) as an offset, and back.
    int Offset(TBufferCoord p) const {
        const int lines = std::max(1, Edit().Lines().Count());
        p.Line = std::clamp(p.Line, 1, lines);
        int offset = 0;
        for (int l = 1; l < p.Line; ++l) offset += static_cast<int>(LineText(Edit(), l).size()) + 1;
        const QString line = Edit().Lines().Count() > 0 ? LineText(Edit(), p.Line) : QString();
        int units = 0, column = 1;
        while (column < p.Column && units < line.size()) {
            units += line[units].isHighSurrogate() && units + 1 < line.size() ? 2 : 1;
            ++column;
        }
        return offset + units;
    }
    TBufferCoord Position(int offset) const {
        const int lines = Edit().Lines().Count();
        for (int l = 1; l <= lines; ++l) {
            const QString line = LineText(Edit(), l);
            if (offset <= line.size() || l == lines) {
                int units = 0, column = 1;
                while (units < std::min<int>(offset, static_cast<int>(line.size()))) {
                    units += line[units].isHighSurrogate() && units + 1 < line.size() ? 2 : 1;
                    ++column;
                }
                return {column, l};
            }
            offset -= static_cast<int>(line.size()) + 1;
        }
        return {1, 1};
    }
    QString AllText() const {
        QStringList lines;
        for (int l = 1; l <= Edit().Lines().Count(); ++l) lines << LineText(Edit(), l);
        return lines.join('\n');
    }

    // --- QAccessibleTextInterface ----------------------------------------------------------
    void selection(int index, int* start, int* end) const override {
        *start = *end = 0;
        if (index != 0 || !Edit().HasSelection()) return;
        *start = Offset(Edit().SelStartPos());
        *end = Offset(Edit().SelEndPos());
    }
    int selectionCount() const override { return Edit().HasSelection() ? 1 : 0; }
    void addSelection(int start, int end) override { setSelection(0, start, end); }
    void removeSelection(int) override {
        TCustomCodeEdit& e = MutableEdit();
        e.SetCaretAndSelect(e.CaretXY(), e.CaretXY(), e.CaretXY());
    }
    void setSelection(int, int start, int end) override {
        const TBufferCoord a = Position(start), b = Position(end);
        MutableEdit().SetCaretAndSelect(b, a, b);
    }
    int cursorPosition() const override { return Offset(Edit().CaretXY()); }
    void setCursorPosition(int position) override { MutableEdit().SetCaretXY(Position(position)); }
    QString text(int start, int end) const override {
        const QString all = AllText();
        start = std::clamp(start, 0, static_cast<int>(all.size()));
        end = std::clamp(end, start, static_cast<int>(all.size()));
        return all.mid(start, end - start);
    }
    int characterCount() const override { return static_cast<int>(AllText().size()); }
    QRect characterRect(int offset) const override {
        const TBufferCoord p = Position(offset);
        const QPoint at = Edit().PositionToPixel(p);
        const QPoint global = Edit().viewport()->mapToGlobal(at);
        return QRect(global, QSize(Edit().CharWidth(), Edit().LineHeight()));
    }
    int offsetAtPoint(const QPoint& point) const override {
        const QPoint local = Edit().viewport()->mapFromGlobal(point);
        return Offset(Edit().PixelToPosition(local.x(), local.y()));
    }
    void scrollToSubstring(int start, int) override {
        TCustomCodeEdit& e = MutableEdit();
        e.SetCaretXY(Position(start));
        e.EnsureCaretVisible();
    }
    QString attributes(int offset, int* start, int* end) const override {
        *start = *end = offset;
        return QString();
    }

private:
    const TCustomCodeEdit& Edit() const { return *static_cast<const TCustomCodeEdit*>(widget()); }
    TCustomCodeEdit& MutableEdit() { return *static_cast<TCustomCodeEdit*>(widget()); }
};

QAccessibleInterface* Factory(const QString&, QObject* object) {
    if (auto* edit = qobject_cast<TCustomCodeEdit*>(object)) return new TCodeEditAccessible(edit);
    return nullptr;
}

}  // namespace

void InstallCodeEditAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(Factory);
        return true;
    }();
    (void)installed;
}

void NotifyCodeEditCaretMoved(TCustomCodeEdit& edit) {
    if (!QAccessible::isActive()) return;
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(&edit);
    auto* text = iface ? iface->textInterface() : nullptr;
    if (!text) return;
    QAccessibleTextCursorEvent event(&edit, text->cursorPosition());
    QAccessible::updateAccessibility(&event);
    if (text->selectionCount() > 0) {
        int start = 0, end = 0;
        text->selection(0, &start, &end);
        QAccessibleTextSelectionEvent selection(&edit, start, end);
        QAccessible::updateAccessibility(&selection);
    }
}

void NotifyCodeEditTextChanged(TCustomCodeEdit& edit) {
    if (!QAccessible::isActive()) return;
    QAccessibleEvent event(&edit, QAccessible::TextUpdated);
    QAccessible::updateAccessibility(&event);
}

}  // namespace tessel
