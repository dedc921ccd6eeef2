// Spell checking through Hunspell.

#include "richedit/SpellCheck.h"

#include <hunspell/hunspell.hxx>

#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>

namespace tessel {

namespace {

QStringList DictionaryFolders() {
    const QByteArray env = qgetenv("DICPATH");
    if (!env.isEmpty()) return QString::fromLocal8Bit(env).split(':', Qt::SkipEmptyParts);
    return {QDir::homePath() + "/.local/share/hunspell", "/usr/share/hunspell", "/usr/share/myspell",
            "/usr/share/myspell/dicts"};
}

// The .aff and .dic of a language, or an empty name.
QString FindDictionary(const QString& language) {
    for (const QString& folder : DictionaryFolders()) {
        const QString base = folder + "/" + language;
        if (QFileInfo::exists(base + ".aff") && QFileInfo::exists(base + ".dic")) return base;
    }
    return QString();
}

QString AnyLanguage() {
    for (const QString& folder : DictionaryFolders()) {
        const QStringList dics = QDir(folder).entryList({"*.dic"}, QDir::Files, QDir::Name);
        for (const QString& dic : dics) {
            const QString language = QFileInfo(dic).completeBaseName();
            if (!FindDictionary(language).isEmpty()) return language;
        }
    }
    return QString();
}

}  // namespace

std::shared_ptr<TSpellChecker> TSpellChecker::Open(const QString& language) {
    QStringList tried;
    if (!language.isEmpty())
        tried << language;
    else
        tried << QLocale::system().name() << "en_US" << AnyLanguage();
    for (const QString& name : tried) {
        if (name.isEmpty()) continue;
        const QString base = FindDictionary(name);
        if (base.isEmpty()) continue;
        auto hunspell = std::make_unique<Hunspell>(QFile::encodeName(base + ".aff").constData(),
                                                   QFile::encodeName(base + ".dic").constData());
        return std::shared_ptr<TSpellChecker>(new TSpellChecker(std::move(hunspell), name));
    }
    return nullptr;
}

TSpellChecker::TSpellChecker(std::unique_ptr<Hunspell> hunspell, QString language)
    : hunspell_(std::move(hunspell)), language_(std::move(language)) {
    const QString encoding = QString::fromStdString(hunspell_->get_dict_encoding()).toUpper();
    utf8_ = encoding.isEmpty() || encoding == "UTF-8";
    if (!utf8_ && !QStringEncoder(encoding.toLatin1().constData()).isValid()) utf8_ = true;
    if (!utf8_) encoding_ = encoding.toLatin1();
}

TSpellChecker::~TSpellChecker() = default;

std::string TSpellChecker::Encode(const QString& word) const {
    if (utf8_) return word.toStdString();
    QStringEncoder encoder(encoding_.constData());
    const QByteArray bytes = encoder.encode(word);
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

QString TSpellChecker::Decode(const std::string& word) const {
    if (utf8_) return QString::fromStdString(word);
    QStringDecoder decoder(encoding_.constData());
    return decoder.decode(QByteArray(word.data(), static_cast<qsizetype>(word.size())));
}

bool TSpellChecker::Check(const QString& word) const {
    if (word.isEmpty() || ignored_.contains(word)) return true;
    for (QChar c : word)
        if (c.isDigit()) return true;
    return hunspell_->spell(Encode(word));
}

QStringList TSpellChecker::Suggest(const QString& word) const {
    QStringList out;
    for (const std::string& s : hunspell_->suggest(Encode(word))) out << Decode(s);
    return out;
}

QList<TWordSpan> Words(const QString& text) {
    QList<TWordSpan> words;
    const int n = static_cast<int>(text.size());
    int i = 0;
    while (i < n) {
        if (!text[i].isLetterOrNumber()) {
            ++i;
            continue;
        }
        const int start = i;
        while (i < n && (text[i].isLetterOrNumber() ||
                         ((text[i] == '\'' || text[i] == QChar(0x2019)) && i + 1 < n && text[i + 1].isLetter())))
            ++i;
        words.append({start, i - start});
    }
    return words;
}

TSpellHighlighter::TSpellHighlighter(QTextDocument* document, std::shared_ptr<TSpellChecker> checker)
    : QSyntaxHighlighter(document), checker_(std::move(checker)) {}

void TSpellHighlighter::highlightBlock(const QString& text) {
    QTextCharFormat wrong;
    wrong.setUnderlineStyle(QTextCharFormat::SpellCheckUnderline);
    wrong.setUnderlineColor(Qt::red);
    for (const TWordSpan& w : Words(text))
        if (!checker_->Check(text.mid(w.start, w.length))) setFormat(w.start, w.length, wrong);
}

TDbSpellDialog::TDbSpellDialog(QTextEdit* editor, std::shared_ptr<TSpellChecker> checker, QWidget* parent)
    : QDialog(parent), editor_(editor), checker_(std::move(checker)) {
    setObjectName("DbSpellDialog");
    setWindowTitle("Check spelling");
    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel("Not in dictionary:", this), 0, 0);
    notFound_ = new QLabel(this);
    notFound_->setObjectName("NotFound");
    grid->addWidget(notFound_, 0, 1);
    grid->addWidget(new QLabel("Change &to:", this), 1, 0);
    changeTo_ = new QLineEdit(this);
    changeTo_->setObjectName("ChangeTo");
    grid->addWidget(changeTo_, 1, 1);
    suggestions_ = new QListWidget(this);
    suggestions_->setObjectName("Suggestions");
    grid->addWidget(suggestions_, 2, 0, 4, 2);
    connect(suggestions_, &QListWidget::currentTextChanged, changeTo_, &QLineEdit::setText);
    auto button = [this, grid](const char* name, const QString& caption, int row, auto handler) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(name);
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, handler);
        grid->addWidget(b, row, 2);
    };
    button("IgnoreButton", "&Ignore", 1, [this] { IgnoreClick(); });
    button("IgnoreAllButton", "I&gnore All", 2, [this] { IgnoreAllClick(); });
    button("ChangeButton", "&Change", 3, [this] { ChangeClick(); });
    button("CloseButton", "Close", 4, [this] { reject(); });
}

bool TDbSpellDialog::Next() {
    QTextCursor at = editor_->textCursor();
    int from = at.selectionEnd();
    for (QTextBlock block = editor_->document()->findBlock(from); block.isValid(); block = block.next()) {
        const QString text = block.text();
        for (const TWordSpan& w : Words(text)) {
            if (block.position() + w.start < from) continue;
            const QString word = text.mid(w.start, w.length);
            if (checker_->Check(word)) continue;
            QTextCursor c(block);
            c.setPosition(block.position() + w.start);
            c.setPosition(block.position() + w.start + w.length, QTextCursor::KeepAnchor);
            editor_->setTextCursor(c);
            word_ = word;
            notFound_->setText(word);
            suggestions_->clear();
            const QStringList suggested = checker_->Suggest(word);
            suggestions_->addItems(suggested);
            changeTo_->setText(suggested.isEmpty() ? word : suggested.front());
            if (!suggested.isEmpty()) suggestions_->setCurrentRow(0);
            return true;
        }
        from = 0;
    }
    word_.clear();
    if (OnComplete) OnComplete("The spell check is complete.");
    accept();
    return false;
}

void TDbSpellDialog::IgnoreClick() {
    Next();
}

void TDbSpellDialog::IgnoreAllClick() {
    checker_->IgnoreAll(word_);
    Next();
}

void TDbSpellDialog::ChangeClick() {
    QTextCursor c = editor_->textCursor();
    if (c.hasSelection() && c.selectedText() == word_) c.insertText(changeTo_->text());
    editor_->setTextCursor(c);
    Next();
}

}  // namespace tessel
