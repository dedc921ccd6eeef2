// The rich text editor window.

#include "richedit/DbRichEditForm.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontDialog>
#include <QFormLayout>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocumentFragment>
#include <QTextEdit>
#include <QTextList>
#include <QToolBar>
#include <QVBoxLayout>
#include <cmath>

#include "base/ErrorHandler.h"
#include "base/Exceptions.h"
#include "base/FileUtil.h"
#include "framework/widgets/FileDialogs.h"
#include "print/QtPrint.h"
#include "richedit/DbRichEdit.h"
#include "richedit/ParagraphDialogs.h"
#include "richedit/RichPrint.h"
#include "richedit/RichTextQt.h"
#include "richedit/Ruler.h"
#include "richedit/SpellCheck.h"

namespace tessel {

std::function<QMessageBox::StandardButton(QWidget*, const QString&)> TDbRichEditForm::Ask = [](QWidget* parent,
                                                                                               const QString& text) {
    return QMessageBox::question(parent, "Confirm", text, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
};

std::function<void(QWidget*, const QString&)> TDbRichEditForm::Tell = [](QWidget* parent, const QString& text) {
    QMessageBox::information(parent, parent ? parent->windowTitle() : QString(), text);
};

std::function<TKeyboardLocks()> TDbRichEditForm::KeyboardLocks = ReadKeyboardLocks;

namespace {

constexpr const char* kFileFilter = "Rich Text Files (*.RTF)|*.RTF|Text Files (*.TXT)|*.TXT";
constexpr int kDropWhenReadOnly = reoShowLoad | reoShowSaveAs | reoShowSaveExit | reoShowFormatBar | reoShowToolBar |
                                  reoShowStatusBar | reoShowRuler | reoShowSpellCheck;

const std::pair<const char*, QColor> kColors[] = {
    {"Black", QColor(0, 0, 0)},      {"Maroon", QColor(128, 0, 0)},    {"Green", QColor(0, 128, 0)},
    {"Olive", QColor(128, 128, 0)},  {"Navy", QColor(0, 0, 128)},      {"Purple", QColor(128, 0, 128)},
    {"Teal", QColor(0, 128, 128)},   {"Gray", QColor(128, 128, 128)},  {"Silver", QColor(192, 192, 192)},
    {"Red", QColor(255, 0, 0)},      {"Lime", QColor(0, 255, 0)},      {"Yellow", QColor(255, 255, 0)},
    {"Blue", QColor(0, 0, 255)},     {"Fuchsia", QColor(255, 0, 255)}, {"Aqua", QColor(0, 255, 255)},
    {"White", QColor(255, 255, 255)}};

// The format bar's pictures, drawn: text lines for the alignments and bullets, a marked
// "ab" for the highlight, an "A" over a red bar for the colour. Null for the others.
QIcon FormatIcon(const QString& name, const QPalette& palette) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    const QColor ink = palette.color(QPalette::ButtonText);
    p.setPen(QPen(ink, 1));
    auto lines = [&](auto left, int from) {
        const int widths[] = {14, 10, 14, 8};
        for (int i = 0; i < 4; ++i) {
            const int w = std::min(widths[i], 16 - from - 1);
            const int x = left(w);
            p.drawLine(x, 2 + i * 4, x + w - 1, 2 + i * 4);
        }
    };
    if (name == "LeftButton") {
        lines([](int) { return 1; }, 1);
    } else if (name == "CenterButton") {
        lines([](int w) { return (16 - w) / 2; }, 1);
    } else if (name == "RightButton") {
        lines([](int w) { return 15 - w; }, 1);
    } else if (name == "JustifyButton") {
        for (int i = 0; i < 4; ++i) p.drawLine(1, 2 + i * 4, 14, 2 + i * 4);
    } else if (name == "BulletButton") {
        p.setBrush(ink);
        for (int i = 0; i < 3; ++i) {
            p.drawEllipse(QRectF(1, 2 + i * 5, 2.5, 2.5));
            p.drawLine(6, 3 + i * 5, 14, 3 + i * 5);
        }
    } else if (name == "HighlightButton" || name == "ColorButton") {
        const bool highlight = name == "HighlightButton";
        if (highlight) p.fillRect(QRect(0, 2, 16, 11), QColor(255, 255, 0));
        QFont f = p.font();
        f.setPixelSize(highlight ? 10 : 12);
        f.setBold(true);
        p.setFont(f);
        p.drawText(QRect(0, 0, 16, highlight ? 15 : 13), Qt::AlignCenter, highlight ? "ab" : "A");
        if (!highlight) p.fillRect(QRect(2, 13, 12, 3), Qt::red);
    } else {
        return QIcon();
    }
    p.end();
    return QIcon(pixmap);
}

}  // namespace

TDbRichEditForm::TDbRichEditForm(TDbCustomRichEdit& holder, QWidget* parent)
    : QDialog(parent), holder_(holder), options_(holder.EditorOptions), readOnly_(holder.ReadOnly()) {
    setObjectName("DbRichEditForm");
    setWindowTitle(QString::fromStdString(holder.EditorCaption));
    if (readOnly_) options_ &= ~kDropWhenReadOnly;
    auto* box = new QVBoxLayout(this);
    box->setContentsMargins(0, 0, 0, 0);
    box->setSpacing(0);
    menu_ = new QMenuBar(this);
    box->setMenuBar(menu_);
    // The editing control: of the holder's class, with its print settings and a pop-up menu
    // of the window's commands.
    editor_ = new TDbRichEdit(this);
    editor_->setObjectName("RichEdit1");
    editor_->setDocument(holder.document()->clone(editor_));
    editor_->setReadOnly(readOnly_);
    editor_->SetWordWrap(holder.WordWrap());
    editor_->setTabChangesFocus(false);
    editor_->MeasurementUnits = holder.MeasurementUnits;
    editor_->PrintMargins = holder.PrintMargins;
    editor_->PrintHeader = holder.PrintHeader;
    editor_->PrintFooter = holder.PrintFooter;
    editor_->OnPrintHeader = holder.OnPrintHeader;
    editor_->OnPrintFooter = holder.OnPrintFooter;
    editor_->PrintJobName = holder.PrintJobName;
    editor_->EditorCaption = holder.EditorCaption;
    editor_->HighlightColor = holder.HighlightColor;
    editor_->PopupOptions =
        rpoPopupCut | rpoPopupCopy | rpoPopupPaste | rpoPopupFont | rpoPopupBullet | rpoPopupParagraph;
    editor_->OnPopupCommand = [this](TDbRichEditPopupOption command) {
        RunGuarded([&] {
            if (command == rpoPopupFont) FontDialog();
            if (command == rpoPopupBullet) ToggleBullets(!editor_->textCursor().currentList());
            if (command == rpoPopupParagraph) ParagraphDialog();
            if (command == rpoPopupTabs) TabsDialog();
            if (command == rpoPopupFind) FindDialog(false);
            if (command == rpoPopupReplace) FindDialog(true);
            if (command == rpoPopupMSWordSpellCheck) CheckSpelling();
        });
    };
    editor_->document()->setModified(false);
    if ((options_ & reoShowSpellCheck) && !readOnly_) {
        speller_ = TSpellChecker::Open();
        if (speller_) spellMarks_ = new TSpellHighlighter(editor_->document(), speller_);
        editor_->OnPopupMenu = [this](QMenu* menu, QPoint at) { AddSuggestions(menu, at); };
    }
    BuildMenus();
    BuildBars();
    if (tools_) box->addWidget(tools_);
    if (format_) box->addWidget(format_);
    if (ruler_) box->addWidget(ruler_);
    box->addWidget(editor_, 1);
    if (status_) box->addWidget(status_);
    if (tools_) tools_->setVisible(options_ & reoShowToolBar);
    if (format_) format_->setVisible(options_ & reoShowFormatBar);
    if (ruler_) ruler_->setVisible(options_ & reoShowRuler);
    if (status_) status_->setVisible(options_ & reoShowStatusBar);
    UpdateLockPanels();
    connect(editor_, &QTextEdit::cursorPositionChanged, this, [this] { SyncWithSelection(); });
    connect(editor_, &QTextEdit::selectionChanged, this, [this] { SyncWithSelection(); });
    connect(editor_, &QTextEdit::undoAvailable, this, [this] { SyncWithSelection(); });
    SyncWithSelection();

    layout_ =
        QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                    QMarginsF(holder.MarginMM(holder.PrintMargins.Left), holder.MarginMM(holder.PrintMargins.Top),
                              holder.MarginMM(holder.PrintMargins.Right), holder.MarginMM(holder.PrintMargins.Bottom)),
                    QPageLayout::Millimeter);
    // The print job name defaults to the application's title.
    if (editor_->PrintJobName.empty()) editor_->PrintJobName = QApplication::applicationDisplayName().toStdString();
    // Bounds: a width or height of 0 keeps the designed size; Left or Top below 1 centres.
    const double scale = logicalDpiX() / 96.0;
    const TDbFormPosition& p = holder.EditorPosition;
    resize(p.Width > 0 ? p.Width : static_cast<int>(610 * scale),
           p.Height > 0 ? p.Height : static_cast<int>(455 * scale));
    if (p.Left >= 1 && p.Top >= 1) {
        move(p.Left, p.Top);
    } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
}

QAction* TDbRichEditForm::Action(const char* name) const {
    return findChild<QAction*>(name);
}

QMenu* TDbRichEditForm::Menu(const char* name) const {
    return findChild<QMenu*>(name);
}

void TDbRichEditForm::BuildMenus() {
    auto add = [this](QMenu* m, const char* name, const QString& caption, QKeySequence key, auto handler) {
        QAction* a = m->addAction(caption);
        a->setObjectName(name);
        if (!key.isEmpty()) a->setShortcut(key);
        connect(a, &QAction::triggered, this, [handler] { RunGuarded(handler); });
        return a;
    };
    const int o = options_;
    QMenu* file = menu_->addMenu("&File");
    file->setObjectName("File1");
    if (o & reoShowLoad)
        add(file, "Load1", "&Load", {}, [this] {
            TFileDialogRequest r;
            r.filter = kFileFilter;
            if (const auto path = ExecFileDialog(this, r)) LoadFile(*path);
        });
    if (o & reoShowSaveAs)
        add(file, "SaveAs1", "Save &As", {}, [this] {
            TFileDialogRequest r;
            r.kind = TFileDialogRequest::Save;
            r.filter = kFileFilter;
            r.defaultExt = "RTF";
            r.overwritePrompt = true;
            if (const auto path = ExecFileDialog(this, r)) SaveFile(*path);
        });
    if (o & reoShowSaveExit)
        add(file, "SaveExit1", "&Save and Exit", QKeySequence("Ctrl+S"), [this] { SaveAndExit(); });
    if (o & (reoShowPrint | reoShowPageSetup)) file->addSeparator();
    if (o & reoShowPrint) add(file, "Print1", "&Print", QKeySequence("Ctrl+P"), [this] { PrintDocument(); });
    if (o & reoShowPageSetup) add(file, "PageSetup1", "Page Set&up", {}, [this] { PageSetup(); });
    if (o & (reoShowLoad | reoShowSaveExit)) file->addSeparator();
    add(file, "Exit1", "E&xit", {}, [this] { reject(); });

    QMenu* edit = menu_->addMenu("&Edit");
    edit->setObjectName("Edit1");
    add(edit, "Undo1", "&Undo", QKeySequence("Ctrl+Z"), [this] { editor_->undo(); });
    add(edit, "Redo1", "&Redo", QKeySequence("Ctrl+Y"), [this] { editor_->redo(); });
    edit->addSeparator();
    add(edit, "Cut1", "Cu&t", QKeySequence("Ctrl+X"), [this] { editor_->cut(); });
    add(edit, "Copy1", "&Copy", QKeySequence("Ctrl+C"), [this] { editor_->copy(); });
    add(edit, "Paste1", "&Paste", QKeySequence("Ctrl+V"), [this] { editor_->paste(); });
    add(edit, "Clear1", "Cle&ar", {}, [this] { editor_->textCursor().removeSelectedText(); });
    add(edit, "SelectAll1", "Select A&ll", QKeySequence("Ctrl+A"), [this] { editor_->selectAll(); });
    edit->addSeparator();
    add(edit, "Find1", "&Find", QKeySequence("Ctrl+F"), [this] { FindDialog(false); });
    add(edit, "FindNext1", "Find &Next", QKeySequence("F3"),
        [this] { Find(lastSearch_, lastMatchCase_, lastWholeWord_); });
    add(edit, "Replace1", "R&eplace", QKeySequence("Ctrl+H"), [this] { FindDialog(true); });

    if (!readOnly_) {
        QMenu* view = menu_->addMenu("&View");
        view->setObjectName("View1");
        auto toggle = [&](const char* name, const QString& caption, bool shown, auto bar) {
            QAction* a = add(view, name, caption, {}, [] {});
            a->setCheckable(true);
            a->setChecked(shown);
            connect(a, &QAction::toggled, this, [this, bar](bool on) {
                if (QWidget* w = (this->*bar)()) w->setVisible(on);
            });
        };
        toggle("Toolbar1", "&Toolbar", o & reoShowToolBar, &TDbRichEditForm::ToolBar);
        toggle("FormatBar1", "&Format Bar", o & reoShowFormatBar, &TDbRichEditForm::FormatBar);
        toggle("StatusBar1", "&Status Bar", o & reoShowStatusBar, &TDbRichEditForm::StatusBar);
        toggle("Ruler1", "&Ruler", o & reoShowRuler, &TDbRichEditForm::Ruler);
        // Ctrl+B, Ctrl+I and Ctrl+U toggle the style as the buttons do, bars shown or not.
        auto key = [this](const char* name, const char* shortcut, auto apply) {
            auto* a = new QAction(this);
            a->setObjectName(name);
            a->setShortcut(QKeySequence(shortcut));
            addAction(a);
            connect(a, &QAction::triggered, this, [this, apply] {
                QTextCharFormat f;
                apply(f, editor_->textCursor().charFormat());
                MergeFormat(f);
            });
        };
        key("BoldKey", "Ctrl+B", [](QTextCharFormat& f, const QTextCharFormat& now) {
            f.setFontWeight(now.fontWeight() >= QFont::Bold ? QFont::Normal : QFont::Bold);
        });
        key("ItalicKey", "Ctrl+I",
            [](QTextCharFormat& f, const QTextCharFormat& now) { f.setFontItalic(!now.fontItalic()); });
        key("UnderlineKey", "Ctrl+U",
            [](QTextCharFormat& f, const QTextCharFormat& now) { f.setFontUnderline(!now.fontUnderline()); });
        QMenu* fmt = menu_->addMenu("F&ormat");
        fmt->setObjectName("Format1");
        add(fmt, "Font1", "&Font", {}, [this] { FontDialog(); });
        QAction* bullet = add(fmt, "BulletStyle1", "&Bullet Style", {}, [] {});
        bullet->setCheckable(true);
        connect(bullet, &QAction::triggered, this, [this](bool on) { RunGuarded([&] { ToggleBullets(on); }); });
        add(fmt, "Paragraph1", "&Paragraph", {}, [this] { ParagraphDialog(); });
        add(fmt, "Tabs1", "&Tabs", {}, [this] { TabsDialog(); });
        if (o & reoShowSpellCheck) {
            QMenu* tools = menu_->addMenu("&Tools");
            tools->setObjectName("Tools1");
            add(tools, "Spelling1", "&Spelling", {}, [this] { CheckSpelling(); });
        }
    }
}

void TDbRichEditForm::BuildBars() {
    const int o = options_;
    auto button = [this](QToolBar* bar, const char* name, const QString& text, const QString& hint, auto handler,
                         bool checkable = false) {
        QAction* a = bar->addAction(text);
        a->setObjectName(name);
        a->setCheckable(checkable);
        // Short hint as the tip, the long one in the status bar while the pointer is on it.
        const QStringList parts = hint.split(" | ");
        a->setToolTip(parts.front());
        connect(a, &QAction::hovered, this, [this, long_ = parts.back()] {
            if (hint_) hint_->setText(long_);
        });
        connect(a, &QAction::triggered, this, [handler](bool on) { RunGuarded([&] { handler(on); }); });
        return a;
    };
    // A writable window has every bar, so that the View menu can show it; the options decide
    // which show at first. A read-only one has those its options name.
    const bool all = !readOnly_;
    if ((o & reoShowToolBar) || all) {
        tools_ = new QToolBar(this);
        tools_->setObjectName("Toolbar");
        if (!readOnly_)
            button(tools_, "NewButton", "New", "New | Creates a new document", [this](bool) {
                if (Ask(this, "Clear entire text?") != QMessageBox::Yes) return;
                editor_->clear();
                editor_->document()->setModified(true);
            });
        if (QAction* load = Action("Load1")) tools_->addAction(load);
        if (QAction* saveAs = Action("SaveAs1")) tools_->addAction(saveAs);
        if (QAction* print = Action("Print1")) tools_->addAction(print);
        button(tools_, "FindButton", "Find", "Find | Finds the specified text", [this](bool) { FindDialog(false); });
        if ((o & reoShowSpellCheck) && !readOnly_)
            button(tools_, "SpellButton", "Spelling", "Spelling | Checks the spelling of the document",
                   [this](bool) { CheckSpelling(); });
        button(tools_, "CutButton", "Cut", "Cut | Cuts the selection and puts it on the Clipboard",
               [this](bool) { editor_->cut(); });
        button(tools_, "CopyButton", "Copy", "Copy | Copies the selection and puts it on the Clipboard",
               [this](bool) { editor_->copy(); });
        button(tools_, "PasteButton", "Paste", "Paste | Inserts Clipboard contents",
               [this](bool) { editor_->paste(); });
        button(tools_, "UndoButton", "Undo", "Undo | Reverses the last action", [this](bool) { editor_->undo(); });
        button(tools_, "RedoButton", "Redo", "Redo | Repeats the last undone action",
               [this](bool) { editor_->redo(); });
    }
    if ((o & reoShowFormatBar) || all) {
        format_ = new QToolBar(this);
        format_->setObjectName("FormatBar");
        fontName_ = new QComboBox(format_);
        fontName_->setObjectName("FontNameCombo");
        fontName_->setEditable(true);
        fontName_->setMaximumWidth(static_cast<int>(160 * logicalDpiX() / 96.0));
        QStringList families = QFontDatabase::families();
        families.sort(Qt::CaseInsensitive);
        fontName_->addItems(families);
        format_->addWidget(fontName_);
        connect(fontName_, &QComboBox::textActivated, this, [this](const QString& name) {
            QTextCharFormat f;
            f.setFontFamilies({name.left(31)});
            MergeFormat(f);
        });
        fontSize_ = new QComboBox(format_);
        fontSize_->setObjectName("FontSizeCombo");
        fontSize_->setEditable(true);
        for (int size : {8, 9, 10, 11, 12, 14, 16, 18, 20, 22, 24, 26, 28, 36, 48, 72})
            fontSize_->addItem(QString::number(size));
        format_->addWidget(fontSize_);
        connect(fontSize_, &QComboBox::textActivated, this, [this](const QString& size) {
            bool ok = false;
            const double points = size.toDouble(&ok);
            if (!ok || points <= 0) return;
            QTextCharFormat f;
            f.setFontPointSize(points);
            MergeFormat(f);
        });
        button(
            format_, "BoldButton", "B", "Bold | Makes the selection bold (toggle)",
            [this](bool on) {
                QTextCharFormat f;
                f.setFontWeight(on ? QFont::Bold : QFont::Normal);
                MergeFormat(f);
            },
            true);
        button(
            format_, "ItalicButton", "I", "Italic | Makes the selection italic (toggle)",
            [this](bool on) {
                QTextCharFormat f;
                f.setFontItalic(on);
                MergeFormat(f);
            },
            true);
        button(
            format_, "UnderlineButton", "U", "Underline | Underlines the selection (toggle)",
            [this](bool on) {
                QTextCharFormat f;
                f.setFontUnderline(on);
                MergeFormat(f);
            },
            true);
        QAction* color = button(format_, "ColorButton", "Color", "Color | Sets the selection's colour", [](bool) {});
        auto* colors = new QMenu(this);
        colors->setObjectName("PopupMenu1");
        for (const auto& [name, value] : kColors) {
            QPixmap swatch(12, 12);
            swatch.fill(value);
            QAction* item = colors->addAction(QIcon(swatch), name);
            connect(item, &QAction::triggered, this, [this, value = value] {
                QTextCharFormat f;
                f.setForeground(value);
                MergeFormat(f);
            });
        }
        connect(colors->addAction("Automatic"), &QAction::triggered, this, [this] {
            QTextCursor c = editor_->textCursor();
            QTextCharFormat current = c.charFormat();
            current.clearForeground();
            c.setCharFormat(current);
        });
        color->setMenu(colors);
        auto align = [&](const char* name, const QString& text, const QString& hint, Qt::Alignment a) {
            QAction* act = button(
                format_, name, text, hint,
                [this, a](bool) {
                    editor_->setAlignment(a);
                    SyncWithSelection();
                },
                true);
            return act;
        };
        align("LeftButton", "Left", "Align Left | Aligns text at the left indent", Qt::AlignLeft);
        align("CenterButton", "Center", "Center | Centers text between indents", Qt::AlignHCenter);
        align("RightButton", "Right", "Align Right | Aligns text at the right indent", Qt::AlignRight);
        if ((o & reoShowJustifyButton) && !readOnly_)
            align("JustifyButton", "Justify", "Justify | Aligns text at both indents", Qt::AlignJustify);
        button(
            format_, "BulletButton", "Bullets", "Bullets | Inserts a bullet on this line",
            [this](bool on) { ToggleBullets(on); }, true);
        button(
            format_, "HighlightButton", "Highlight", "Highlight Text | Makes the selection highlighted",
            [this](bool on) {
                QTextCharFormat f;
                if (on) {
                    f.setBackground(holder_.HighlightColor);
                    MergeFormat(f);
                } else {
                    QTextCursor c = editor_->textCursor();
                    QTextCharFormat current = c.charFormat();
                    current.clearBackground();
                    c.setCharFormat(current);
                }
            },
            true);
    }
    if (format_) {
        for (QAction* a : format_->actions()) {
            const QIcon icon = FormatIcon(a->objectName(), palette());
            if (!icon.isNull()) a->setIcon(icon);
        }
        // B, I and U show what they do.
        const struct {
            const char* name;
            void (QFont::*set)(bool);
        } styles[] = {{"BoldButton", &QFont::setBold},
                      {"ItalicButton", &QFont::setItalic},
                      {"UnderlineButton", &QFont::setUnderline}};
        for (const auto& style : styles)
            if (QWidget* b = format_->widgetForAction(Action(style.name))) {
                QFont f = b->font();
                (f.*style.set)(true);
                b->setFont(f);
            }
    }
    if ((o & reoShowRuler) || all) {
        ruler_ = new TDbRulerPanel(this);
        ruler_->SetUnits(holder_.MeasurementUnits);
        ruler_->OnIndentsChanged = [this](double first, double left, double right) {
            RunGuarded([&] {
                QTextBlockFormat f;
                f.setLeftMargin(left);
                f.setTextIndent(first - left);
                f.setRightMargin(right);
                QTextCursor c = editor_->textCursor();
                c.mergeBlockFormat(f);
                SyncWithSelection();
            });
        };
        ruler_->OnTabsChanged = [this](const QList<double>& tabs) {
            RunGuarded([&] {
                std::vector<int> twips;
                for (double t : tabs) twips.push_back(LayoutToTwips(t));
                ApplyTabs(twips);
            });
        };
    }
    if ((o & reoShowStatusBar) || all) {
        status_ = new QStatusBar(this);
        status_->setObjectName("StatusBar");
        const double scale = logicalDpiX() / 96.0;
        hint_ = new QLabel(status_);
        hint_->setMinimumWidth(static_cast<int>(300 * scale));
        caps_ = new QLabel(status_);
        num_ = new QLabel(status_);
        caps_->setMinimumWidth(static_cast<int>(32 * scale));
        num_->setMinimumWidth(static_cast<int>(32 * scale));
        status_->addWidget(hint_);
        status_->addWidget(caps_);
        status_->addWidget(num_);
        status_->addWidget(new QLabel(status_));
    }
}

void TDbRichEditForm::MergeFormat(const QTextCharFormat& format) {
    QTextCursor c = editor_->textCursor();
    if (!c.hasSelection()) c.select(QTextCursor::WordUnderCursor);
    c.mergeCharFormat(format);
    editor_->mergeCurrentCharFormat(format);
    SyncWithSelection();
}

void TDbRichEditForm::SyncWithSelection() {
    const QTextCursor c = editor_->textCursor();
    const QTextCharFormat f = c.charFormat();
    auto check = [this](const char* name, bool on) {
        if (QAction* a = Action(name)) {
            const QSignalBlocker block(a);
            a->setChecked(on);
        }
    };
    check("BoldButton", f.fontWeight() >= QFont::Bold);
    check("ItalicButton", f.fontItalic());
    check("UnderlineButton", f.fontUnderline());
    const Qt::Alignment a = editor_->alignment() & Qt::AlignHorizontal_Mask;
    check("JustifyButton", a & Qt::AlignJustify);
    check("CenterButton", a & Qt::AlignHCenter);
    check("RightButton", a & Qt::AlignRight);
    check("LeftButton", !(a & (Qt::AlignJustify | Qt::AlignHCenter | Qt::AlignRight)));
    check("BulletButton", c.currentList() != nullptr);
    check("BulletStyle1", c.currentList() != nullptr);
    check("HighlightButton",
          f.hasProperty(QTextFormat::BackgroundBrush) && f.background().color() == holder_.HighlightColor);
    if (fontName_) {
        const QStringList families = f.fontFamilies().toStringList();
        const QString name = families.isEmpty() ? editor_->currentFont().family() : families.front();
        fontName_->setEditText(name);
        // A font this machine lacks shows in red.
        QPalette palette = fontName_->palette();
        palette.setColor(QPalette::Text, fontName_->findText(name, Qt::MatchFixedString) < 0 ? Qt::red : Qt::black);
        fontName_->setPalette(palette);
        if (fontName_->lineEdit()) fontName_->lineEdit()->setPalette(palette);
    }
    if (fontSize_) {
        const double size = f.fontPointSize() > 0 ? f.fontPointSize() : editor_->currentFont().pointSizeF();
        fontSize_->setEditText(QString::number(size));
    }
    const bool selection = c.hasSelection();
    const bool empty = editor_->document()->isEmpty();
    auto enable = [this](const char* name, bool on) {
        if (QAction* a = Action(name)) a->setEnabled(on);
    };
    enable("Paste1", !readOnly_ && editor_->canPaste());
    enable("PasteButton", !readOnly_ && editor_->canPaste());
    enable("Cut1", !readOnly_ && selection);
    enable("CutButton", !readOnly_ && selection);
    enable("Clear1", !readOnly_ && selection);
    enable("Copy1", selection);
    enable("CopyButton", selection);
    enable("Undo1", !readOnly_ && editor_->document()->isUndoAvailable());
    enable("UndoButton", !readOnly_ && editor_->document()->isUndoAvailable());
    enable("Redo1", !readOnly_ && editor_->document()->isRedoAvailable());
    enable("RedoButton", !readOnly_ && editor_->document()->isRedoAvailable());
    enable("SelectAll1", !empty);
    enable("Find1", !empty);
    enable("FindButton", !empty);
    enable("FindNext1", !lastSearch_.isEmpty());
    enable("Replace1", !readOnly_ && !empty);
    enable("Spelling1", !empty);
    enable("SpellButton", !empty);
    if (ruler_) {
        // The first selected paragraph's.
        const QTextBlockFormat b = editor_->document()->findBlock(c.selectionStart()).blockFormat();
        ruler_->SetIndents(b.leftMargin() + b.textIndent(), b.leftMargin(), b.rightMargin());
        QList<double> tabs;
        for (const QTextOption::Tab& t : b.tabPositions()) tabs.append(t.position);
        ruler_->SetTabs(tabs);
    }
}

void TDbRichEditForm::FontDialog() {
    bool ok = false;
    const QFont font = QFontDialog::getFont(&ok, editor_->currentFont(), this);
    if (!ok) return;
    QTextCharFormat f;
    f.setFont(font);
    MergeFormat(f);
}

void TDbRichEditForm::ToggleBullets(bool on) {
    QTextCursor c = editor_->textCursor();
    if (on && !c.currentList()) {
        c.createList(QTextListFormat::ListDisc);
    } else if (!on && c.currentList()) {
        // Every selected paragraph leaves its list.
        const int end = c.selectionEnd();
        for (QTextBlock b = editor_->document()->findBlock(c.selectionStart()); b.isValid() && b.position() <= end;
             b = b.next()) {
            if (QTextList* list = b.textList()) list->remove(b);
            QTextCursor at(b);
            QTextBlockFormat bf = at.blockFormat();
            bf.setIndent(0);
            at.setBlockFormat(bf);
        }
    }
    SyncWithSelection();
}

void TDbRichEditForm::ApplyParagraph(const TRichParagraph& p) {
    const QTextBlockFormat wanted = BlockFormat(p);
    QTextBlockFormat f;
    f.setAlignment(wanted.alignment());
    f.setLeftMargin(wanted.leftMargin());
    f.setRightMargin(wanted.rightMargin());
    f.setTextIndent(wanted.textIndent());
    f.setTopMargin(wanted.topMargin());
    f.setBottomMargin(wanted.bottomMargin());
    if (wanted.hasProperty(QTextFormat::LineHeight))
        f.setLineHeight(wanted.lineHeight(), wanted.lineHeightType());
    else
        f.setLineHeight(100, QTextBlockFormat::SingleHeight);
    QTextCursor c = editor_->textCursor();
    c.mergeBlockFormat(f);
    SyncWithSelection();
}

void TDbRichEditForm::ApplyTabs(const std::vector<int>& twips) {
    TRichParagraph p;
    p.tabs = twips;
    QTextBlockFormat f;
    f.setTabPositions(BlockFormat(p).tabPositions());
    QTextCursor c = editor_->textCursor();
    c.mergeBlockFormat(f);
    SyncWithSelection();
}

void TDbRichEditForm::ParagraphDialog() {
    if (readOnly_) return;
    TDbRichParagraphDialog dialog(holder_.MeasurementUnits, (options_ & reoShowJustifyButton) != 0, this);
    dialog.SetParagraph(ParagraphFormat(editor_->textCursor().blockFormat()));
    if (dialog.exec() == QDialog::Accepted) ApplyParagraph(dialog.Paragraph());
}

void TDbRichEditForm::TabsDialog() {
    if (readOnly_) return;
    TDbRichTabDialog dialog(holder_.MeasurementUnits, this);
    dialog.SetTabs(ParagraphFormat(editor_->textCursor().blockFormat()).tabs);
    if (dialog.exec() == QDialog::Accepted) ApplyTabs(dialog.Tabs());
}

void TDbRichEditForm::CheckSpelling() {
    if (!speller_) {
        Tell(this, "No spelling dictionary is installed (Hunspell dictionaries go in /usr/share/hunspell).");
        return;
    }
    TDbSpellDialog dialog(editor_, speller_, this);
    dialog.OnComplete = [this](const QString& text) { Tell(this, text); };
    if (!dialog.Next()) return;
    dialog.exec();
    if (spellMarks_) spellMarks_->rehighlight();
}

void TDbRichEditForm::AddSuggestions(QMenu* menu, QPoint at) {
    if (!speller_) return;
    QTextCursor c = editor_->cursorForPosition(at);
    const QTextBlock block = c.block();
    const int column = c.position() - block.position();
    for (const TWordSpan& w : Words(block.text())) {
        if (column < w.start || column > w.start + w.length) continue;
        const QString word = block.text().mid(w.start, w.length);
        if (speller_->Check(word)) return;
        QAction* first = menu->actions().isEmpty() ? nullptr : menu->actions().front();
        QList<QAction*> added;
        for (const QString& s : speller_->Suggest(word).mid(0, 6)) {
            auto* a = new QAction(s, menu);
            a->setObjectName("PopupSuggestion");
            connect(a, &QAction::triggered, this, [this, block, w, s] {
                QTextCursor r(editor_->document());
                r.setPosition(block.position() + w.start);
                r.setPosition(block.position() + w.start + w.length, QTextCursor::KeepAnchor);
                r.insertText(s);
            });
            added << a;
        }
        auto* ignore = new QAction("I&gnore All", menu);
        ignore->setObjectName("PopupIgnoreAll");
        connect(ignore, &QAction::triggered, this, [this, word] {
            speller_->IgnoreAll(word);
            if (spellMarks_) spellMarks_->rehighlight();
        });
        added << ignore;
        menu->insertActions(first, added);
        if (first) menu->insertSeparator(first);
        return;
    }
}

void TDbRichEditForm::UpdateLockPanels() {
    if (!caps_ || !num_) return;
    const TKeyboardLocks locks = KeyboardLocks ? KeyboardLocks() : TKeyboardLocks{};
    caps_->setText(locks.known && locks.caps ? "CAP" : "");
    num_->setText(locks.known && locks.num ? "NUM" : "");
}

void TDbRichEditForm::keyReleaseEvent(QKeyEvent* event) {
    UpdateLockPanels();
    QDialog::keyReleaseEvent(event);
}

void TDbRichEditForm::LayOutRuler() {
    if (!ruler_) return;
    // The ruler's numbers start where the text does and run the editor's width less 12.
    ruler_->SetOrigin(editor_->x() + editor_->frameWidth() + static_cast<int>(editor_->document()->documentMargin()));
    ruler_->SetLength(editor_->width() - 12);
}

void TDbRichEditForm::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    LayOutRuler();
}

void TDbRichEditForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    LayOutRuler();
    UpdateLockPanels();
}

bool TDbRichEditForm::Find(const QString& text, bool matchCase, bool wholeWord, bool backward) {
    if (text.isEmpty()) return false;
    lastSearch_ = text;
    lastMatchCase_ = matchCase;
    lastWholeWord_ = wholeWord;
    QTextDocument::FindFlags flags;
    if (matchCase) flags |= QTextDocument::FindCaseSensitively;
    if (wholeWord) flags |= QTextDocument::FindWholeWords;
    if (backward) flags |= QTextDocument::FindBackward;
    const QTextCursor found = editor_->document()->find(text, editor_->textCursor(), flags);
    if (found.isNull()) return false;
    editor_->setTextCursor(found);
    return true;
}

int TDbRichEditForm::ReplaceAll(const QString& text, const QString& with, bool matchCase, bool wholeWord) {
    if (readOnly_ || text.isEmpty()) return 0;
    QTextDocument::FindFlags flags;
    if (matchCase) flags |= QTextDocument::FindCaseSensitively;
    if (wholeWord) flags |= QTextDocument::FindWholeWords;
    QTextCursor edit(editor_->document());
    edit.beginEditBlock();  // one step of undo
    int count = 0;
    QTextCursor at(editor_->document());
    for (;;) {
        at = editor_->document()->find(text, at, flags);
        if (at.isNull()) break;
        at.insertText(with);
        ++count;
    }
    edit.endEditBlock();
    return count;
}

void TDbRichEditForm::FindDialog(bool replace) {
    QDialog dialog(this);
    dialog.setWindowTitle(replace ? "Replace" : "Find");
    auto* form = new QFormLayout(&dialog);
    auto* what = new QLineEdit(lastSearch_, &dialog);
    what->setObjectName("FindText");
    form->addRow("Fi&nd what:", what);
    QLineEdit* with = nullptr;
    if (replace) {
        with = new QLineEdit(&dialog);
        with->setObjectName("ReplaceText");
        form->addRow("Re&place with:", with);
    }
    auto* matchCase = new QCheckBox("Match &case", &dialog);
    auto* wholeWord = new QCheckBox("Match &whole word only", &dialog);
    auto* up = new QCheckBox("Search &up", &dialog);
    matchCase->setChecked(lastMatchCase_);
    wholeWord->setChecked(lastWholeWord_);
    form->addRow(matchCase);
    form->addRow(wholeWord);
    if (!replace) form->addRow(up);
    auto* buttons = new QDialogButtonBox(&dialog);
    QPushButton* next = buttons->addButton("Find &Next", QDialogButtonBox::ActionRole);
    connect(next, &QPushButton::clicked, &dialog, [&] {
        if (!Find(what->text(), matchCase->isChecked(), wholeWord->isChecked(), up->isChecked()))
            QMessageBox::information(&dialog, windowTitle(), "Cannot find \"" + what->text() + "\"");
    });
    if (replace) {
        QPushButton* one = buttons->addButton("&Replace", QDialogButtonBox::ActionRole);
        connect(one, &QPushButton::clicked, &dialog, [&] {
            QTextCursor c = editor_->textCursor();
            if (c.hasSelection() &&
                c.selectedText().compare(what->text(),
                                         matchCase->isChecked() ? Qt::CaseSensitive : Qt::CaseInsensitive) == 0)
                c.insertText(with->text());
            Find(what->text(), matchCase->isChecked(), wholeWord->isChecked());
        });
        QPushButton* all = buttons->addButton("Replace &All", QDialogButtonBox::ActionRole);
        connect(all, &QPushButton::clicked, &dialog,
                [&] { ReplaceAll(what->text(), with->text(), matchCase->isChecked(), wholeWord->isChecked()); });
    }
    buttons->addButton(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    form->addRow(buttons);
    dialog.exec();
}

void TDbRichEditForm::LoadFile(const QString& path) {
    const std::string bytes = ReadFileBytes(path.toStdString());
    if (path.endsWith(".txt", Qt::CaseInsensitive)) {
        editor_->setPlainText(QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size())));
    } else {
        try {
            FillTextDocument(ReadRtf(bytes), *editor_->document());
        } catch (const ERtfError& e) {
            throw Exception(path.toStdString() + ": " + e.what());
        }
    }
    editor_->document()->setModified(true);
}

void TDbRichEditForm::SaveFile(const QString& path) {
    if (path.endsWith(".txt", Qt::CaseInsensitive))
        WriteFileAtomically(path.toStdString(), editor_->toPlainText().toStdString());
    else
        WriteFileAtomically(path.toStdString(), WriteRtf(FromTextDocument(*editor_->document())));
}

void TDbRichEditForm::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        if (readOnly_ || (options_ & reoCloseOnEscape))
            reject();
        else
            editor_->undo();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TDbRichEditForm::done(int result) {
    if (result == QDialog::Accepted || saving_) {
        QDialog::done(result);
        return;
    }
    // Closing without saving: changes are kept, dropped or the window stays, as asked.
    if (!readOnly_ && editor_->document()->isModified()) {
        if (holder_.EditorOptions & reoNoConfirmation) {
            SaveAndExit();
            return;
        }
        switch (Ask(this, "Changes have been made!  Do you wish to save your changes?")) {
            case QMessageBox::Yes:
                SaveAndExit();
                return;
            case QMessageBox::No:
                break;
            default:
                return;  // Cancel: the window stays
        }
    }
    QDialog::done(result);
}

void TDbRichEditForm::SaveAndExit() {
    saving_ = true;
    if (editor_->document()->isModified()) {
        QTextDocument* copy = editor_->document()->clone(&holder_);
        holder_.setDocument(copy);
        holder_.document()->setModified(true);
    }
    // Page setup may have changed the margins.
    holder_.PrintMargins = editor_->PrintMargins;
    accept();
}

void TDbRichEditForm::PageSetup() {
    // The dialog shows the holder's margins (thousandths of an inch or hundredths of a
    // millimetre); OK takes its margins, paper and orientation over.
    QPrinter printer(QPrinter::HighResolution);
    const bool inches = editor_->MeasurementUnits == TDbMeasurementUnits::muInches;
    auto toMM = [inches](double margin) {
        const int v = PageSetupValue(margin);
        return inches ? v * 25.4 / 1000 : v / 100.0;
    };
    auto fromMM = [inches](double mm) {
        return FromPageSetupValue(static_cast<int>(std::trunc(inches ? mm / 25.4 * 1000 + 1e-6 : mm * 100 + 1e-6)));
    };
    TDbPrintMargins& m = editor_->PrintMargins;
    printer.setPageLayout(QPageLayout(layout_.pageSize(), layout_.orientation(),
                                      QMarginsF(toMM(m.Left), toMM(m.Top), toMM(m.Right), toMM(m.Bottom)),
                                      QPageLayout::Millimeter));
    QPageSetupDialog dialog(&printer, this);
    if (dialog.exec() != QDialog::Accepted) return;
    layout_ = printer.pageLayout();
    const QMarginsF chosen = layout_.margins(QPageLayout::Millimeter);
    m.Left = fromMM(chosen.left());
    m.Top = fromMM(chosen.top());
    m.Right = fromMM(chosen.right());
    m.Bottom = fromMM(chosen.bottom());
}

std::string TDbRichEditForm::PrintDocument() {
    QPrinter printer(QPrinter::HighResolution);
    std::string pdf;
    if (!HasPrinter()) {
        TFileDialogRequest request;
        request.kind = TFileDialogRequest::Save;
        request.title = "Print to PDF file";
        request.fileName = "document.pdf";
        request.filter = "PDF documents (*.PDF)|*.PDF";
        request.defaultExt = "pdf";
        request.overwritePrompt = true;
        const auto chosen = ExecFileDialog(this, request);
        if (!chosen) return std::string();
        pdf = chosen->toStdString();
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(*chosen);
    }
    printer.setPageOrientation(layout_.orientation());
    printer.setPageSize(layout_.pageSize());
    if (pdf.empty()) {
        printer.setCollateCopies(true);
        QPrintDialog dialog(&printer, this);
        dialog.setOption(QAbstractPrintDialog::PrintCollateCopies, true);
        if (dialog.exec() != QDialog::Accepted) return std::string();
    }
    PrintRichDocument(*editor_->document(), *editor_, printer);
    const QFileInfo written(QString::fromStdString(pdf));
    if (!pdf.empty() && (!written.exists() || written.size() == 0)) throw Exception("Cannot write the file " + pdf);
    return pdf;
}

}  // namespace tessel
