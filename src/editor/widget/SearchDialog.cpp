// The editor's Find and Replace dialog.

#include "editor/widget/SearchDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "editor/widget/CustomCodeEdit.h"

namespace tessel {

TSearchDialog::TSearchDialog(TCustomCodeEdit* editor, QWidget* parent) : QDialog(parent), editor_(editor) {
    setObjectName("SearchDialog");
    setModal(false);
    auto* grid = new QGridLayout(this);
    auto* findLabel = new QLabel("Fi&nd what:", this);
    find_ = new QLineEdit(this);
    find_->setObjectName("FindBox");
    findLabel->setBuddy(find_);
    replaceLabel_ = new QLabel("Re&place with:", this);
    replace_ = new QLineEdit(this);
    replace_->setObjectName("ReplaceBox");
    replaceLabel_->setBuddy(replace_);
    matchCase_ = new QCheckBox("Match &case", this);
    wholeWord_ = new QCheckBox("&Whole words only", this);
    selectionOnly_ = new QCheckBox("Replace in the &selection only", this);
    result_ = new QLabel(this);
    result_->setObjectName("SearchResult");
    findNext_ = new QPushButton("&Find Next", this);
    findPrevious_ = new QPushButton("Find Pre&vious", this);
    replaceOne_ = new QPushButton("&Replace", this);
    replaceAll_ = new QPushButton("Replace &All", this);
    auto* close = new QPushButton("Close", this);
    findNext_->setDefault(true);

    grid->addWidget(findLabel, 0, 0);
    grid->addWidget(find_, 0, 1);
    grid->addWidget(replaceLabel_, 1, 0);
    grid->addWidget(replace_, 1, 1);
    grid->addWidget(matchCase_, 2, 1);
    grid->addWidget(wholeWord_, 3, 1);
    grid->addWidget(selectionOnly_, 4, 1);
    grid->addWidget(result_, 5, 0, 1, 2);
    auto* buttons = new QVBoxLayout;
    for (QPushButton* b : {findNext_, findPrevious_, replaceOne_, replaceAll_, close}) buttons->addWidget(b);
    buttons->addStretch();
    grid->addLayout(buttons, 0, 2, 6, 1);

    connect(findNext_, &QPushButton::clicked, this, [this] { Run(0); });
    connect(findPrevious_, &QPushButton::clicked, this, [this] { Run(ssoBackwards); });
    connect(replaceOne_, &QPushButton::clicked, this, [this] { Run(ssoReplace); });
    connect(replaceAll_, &QPushButton::clicked, this, [this] { Run(ssoReplaceAll); });
    connect(close, &QPushButton::clicked, this, &QDialog::hide);
}

void TSearchDialog::Show(bool replacing) {
    setWindowTitle(replacing ? "Replace" : "Find");
    for (QWidget* w :
         std::initializer_list<QWidget*>{replaceLabel_, replace_, selectionOnly_, replaceOne_, replaceAll_})
        w->setVisible(replacing);
    // A selection on one line is what the person wants to look for.
    if (editor_->HasSelection() && editor_->SelStartPos().Line == editor_->SelEndPos().Line)
        find_->setText(QString::fromStdString(editor_->SelectedText()));
    result_->clear();
    adjustSize();
    show();
    raise();
    activateWindow();
    find_->setFocus();
    find_->selectAll();
}

void TSearchDialog::FindAgain(bool backwards) {
    if (find_->text().isEmpty()) {
        ShowFind();
        return;
    }
    Run(backwards ? unsigned{ssoBackwards} : 0u);
}

unsigned TSearchDialog::Options() const {
    unsigned options = 0;
    if (matchCase_->isChecked()) options |= ssoMatchCase;
    if (wholeWord_->isChecked()) options |= ssoWholeWord;
    if (selectionOnly_->isChecked() && selectionOnly_->isVisible()) options |= ssoSelectedOnly;
    return options;
}

void TSearchDialog::Run(unsigned extra) {
    const std::string text = find_->text().toStdString();
    if (text.empty()) return;
    const int n = editor_->SearchReplace(text, replace_->text().toStdString(), Options() | extra);
    if (extra & ssoReplaceAll) {
        result_->setText(n == 1 ? QString("1 replaced") : QString("%1 replaced").arg(n));
    } else if (n == 0) {
        result_->setText("Not found: " + find_->text());
        QApplication::beep();
    } else {
        result_->setText(editor_->SearchWrapped() ? "Went on from the other end of the text" : QString());
    }
}

QString TSearchDialog::Result() const {
    return result_->text();
}

}  // namespace tessel
