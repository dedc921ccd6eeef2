#pragma once

// Spell checking for the rich text editor through a Hunspell dictionary: the checker, the
// wavy underline under words it does not know, and the dialog that walks them.

#include <QByteArray>
#include <QDialog>
#include <QSet>
#include <QStringList>
#include <QSyntaxHighlighter>
#include <functional>
#include <memory>
#include <string>

class Hunspell;
class QLabel;
class QLineEdit;
class QListWidget;
class QTextEdit;

namespace tessel {

class TSpellChecker {
public:
    // The dictionary for a language ("en_US"; empty: the user's locale, then en_US, then any
    // installed one) from the folders of $DICPATH or the system's; null when there is none.
    static std::shared_ptr<TSpellChecker> Open(const QString& language = QString());
    ~TSpellChecker();
    TSpellChecker(const TSpellChecker&) = delete;
    TSpellChecker& operator=(const TSpellChecker&) = delete;

    QString Language() const { return language_; }
    // Words with digits and words ignored this session count as spelt right.
    bool Check(const QString& word) const;
    QStringList Suggest(const QString& word) const;
    void IgnoreAll(const QString& word) { ignored_.insert(word); }

private:
    TSpellChecker(std::unique_ptr<Hunspell> hunspell, QString language);
    std::string Encode(const QString& word) const;
    QString Decode(const std::string& word) const;

    std::unique_ptr<Hunspell> hunspell_;
    QString language_;
    bool utf8_ = true;
    QByteArray encoding_;  // the dictionary's, when it is not UTF-8
    QSet<QString> ignored_;
};

// A word's place in a paragraph's text.
struct TWordSpan {
    int start = 0, length = 0;
};
// The words of a text: runs of letters, with apostrophes inside them.
QList<TWordSpan> Words(const QString& text);

class TSpellHighlighter : public QSyntaxHighlighter {
public:
    TSpellHighlighter(QTextDocument* document, std::shared_ptr<TSpellChecker> checker);

protected:
    void highlightBlock(const QString& text) override;

private:
    std::shared_ptr<TSpellChecker> checker_;
};

// "Check spelling": from the caret on, selects each word the dictionary does not know and
// offers to change it, ignore it once or everywhere; at the end it says the check is complete.
class TDbSpellDialog : public QDialog {
public:
    TDbSpellDialog(QTextEdit* editor, std::shared_ptr<TSpellChecker> checker, QWidget* parent = nullptr);

    // Moves to the next unknown word; false (and the dialog closes) when none is left.
    bool Next();
    QString Word() const { return word_; }
    QLineEdit* ChangeTo() const { return changeTo_; }
    QListWidget* Suggestions() const { return suggestions_; }
    void IgnoreClick();
    void IgnoreAllClick();
    void ChangeClick();
    // Told when the check reaches the end ("The spell check is complete.").
    std::function<void(const QString&)> OnComplete;

private:
    QTextEdit* editor_;
    std::shared_ptr<TSpellChecker> checker_;
    QLabel* notFound_ = nullptr;
    QLineEdit* changeTo_ = nullptr;
    QListWidget* suggestions_ = nullptr;
    QString word_;
};

}  // namespace tessel
