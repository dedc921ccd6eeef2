// The paragraph and tab dialogs.

#include "richedit/ParagraphDialogs.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace tessel {

namespace {

double TwipsPerUnit(TDbMeasurementUnits units) {
    return units == TDbMeasurementUnits::muInches ? 1440.0 : 1440.0 / 2.54;
}

QLineEdit* NumberField(QWidget* parent, const char* name) {
    auto* field = new QLineEdit(parent);
    field->setObjectName(name);
    field->setMaximumWidth(80);
    return field;
}

}  // namespace

QString FormatLength(int twips, TDbMeasurementUnits units) {
    return QString::number(twips / TwipsPerUnit(units), 'f', 2);
}

namespace {

// A number as the user's locale or as C writes it; nothing beyond a hundred is meant.
std::optional<double> ParseNumber(const QString& text) {
    bool ok = false;
    double value = QLocale().toDouble(text.trimmed(), &ok);
    if (!ok) value = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(value) || std::abs(value) > 100) return std::nullopt;
    return value;
}

}  // namespace

std::optional<int> ParseLength(const QString& text, TDbMeasurementUnits units) {
    const std::optional<double> value = ParseNumber(text);
    if (!value) return std::nullopt;
    return static_cast<int>(std::lround(*value * TwipsPerUnit(units)));
}

TDbRichParagraphDialog::TDbRichParagraphDialog(TDbMeasurementUnits units, bool justify, QWidget* parent)
    : QDialog(parent), units_(units) {
    setObjectName("DbRichParagraphDialog");
    setWindowTitle("Paragraph");
    auto* box = new QVBoxLayout(this);
    auto* indents = new QGroupBox("Indentation", this);
    auto* grid = new QFormLayout(indents);
    grid->addRow("&Left:", NumberField(indents, "LeftIndent"));
    grid->addRow("&Right:", NumberField(indents, "RightIndent"));
    grid->addRow("&First line:", NumberField(indents, "FirstIndent"));
    box->addWidget(indents);
    auto* form = new QFormLayout;
    align_ = new QComboBox(this);
    align_->setObjectName("Alignment");
    align_->addItems({"Left", "Center", "Right"});
    if (justify) align_->addItem("Justify");
    form->addRow("Alig&nment:", align_);
    form->addRow("Space &before:", NumberField(this, "SpaceBefore"));
    form->addRow("Space aft&er:", NumberField(this, "SpaceAfter"));
    rule_ = new QComboBox(this);
    rule_->setObjectName("LineSpacing");
    rule_->addItems({"Single", "1.5 Lines", "Double", "At least", "Exactly", "Multiple"});
    form->addRow("Line &spacing:", rule_);
    value_ = NumberField(this, "LineValue");
    form->addRow("&At:", value_);
    box->addLayout(form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    box->addWidget(buttons);
    connect(rule_, &QComboBox::currentIndexChanged, this, [this](int rule) { RuleChosen(rule); });
    connect(value_, &QLineEdit::textEdited, this, [this](const QString& text) {
        // A value typed for single, 1.5 or double spacing makes it a multiple.
        if (!text.isEmpty() && rule_->currentIndex() <= lsDouble) {
            choosing_ = true;
            rule_->setCurrentIndex(lsMultiple);
            choosing_ = false;
        }
    });
}

QLineEdit* TDbRichParagraphDialog::Field(const char* name) const {
    return findChild<QLineEdit*>(name);
}

void TDbRichParagraphDialog::RuleChosen(int rule) {
    if (choosing_) return;
    switch (rule) {
        case lsAtLeast:
        case lsExactly:
            value_->setText(FormatLength(240, units_));  // a sixth of an inch
            break;
        case lsMultiple:
            value_->setText("1");
            break;
        default:
            value_->clear();
    }
}

void TDbRichParagraphDialog::SetParagraph(const TRichParagraph& p) {
    result_ = p;
    Field("LeftIndent")->setText(FormatLength(p.leftIndent, units_));
    Field("RightIndent")->setText(FormatLength(p.rightIndent, units_));
    Field("FirstIndent")->setText(FormatLength(p.firstIndent, units_));
    Field("SpaceBefore")->setText(FormatLength(p.spaceBefore, units_));
    Field("SpaceAfter")->setText(FormatLength(p.spaceAfter, units_));
    const int align = static_cast<int>(p.align);
    align_->setCurrentIndex(std::min(align, align_->count() - 1));
    choosing_ = true;
    if (p.lineSpacing == 0 || (p.lineMultiple && p.lineSpacing == 240)) {
        rule_->setCurrentIndex(lsSingle);
        value_->clear();
    } else if (p.lineMultiple && p.lineSpacing == 360) {
        rule_->setCurrentIndex(lsOneAndHalf);
        value_->clear();
    } else if (p.lineMultiple && p.lineSpacing == 480) {
        rule_->setCurrentIndex(lsDouble);
        value_->clear();
    } else if (p.lineMultiple) {
        rule_->setCurrentIndex(lsMultiple);
        value_->setText(QString::number(p.lineSpacing / 240.0, 'g', 3));
    } else {
        rule_->setCurrentIndex(p.lineSpacing > 0 ? lsAtLeast : lsExactly);
        value_->setText(FormatLength(std::abs(p.lineSpacing), units_));
    }
    choosing_ = false;
}

void TDbRichParagraphDialog::accept() {
    TRichParagraph p = result_;
    for (const auto& [name, target] : {std::pair{"LeftIndent", &p.leftIndent},
                                       {"RightIndent", &p.rightIndent},
                                       {"FirstIndent", &p.firstIndent},
                                       {"SpaceBefore", &p.spaceBefore},
                                       {"SpaceAfter", &p.spaceAfter}}) {
        QLineEdit* field = Field(name);
        const std::optional<int> twips = ParseLength(field->text(), units_);
        const bool mayBeNegative = target == &p.firstIndent;
        if (!twips || (*twips < 0 && !mayBeNegative)) {
            field->setFocus();
            field->selectAll();
            QApplication::beep();
            return;
        }
        *target = *twips;
    }
    p.align = static_cast<TRichAlign>(align_->currentIndex());
    const int rule = rule_->currentIndex();
    p.lineMultiple = rule == lsOneAndHalf || rule == lsDouble || rule == lsMultiple;
    if (rule == lsSingle) p.lineSpacing = 0;
    if (rule == lsOneAndHalf) p.lineSpacing = 360;
    if (rule == lsDouble) p.lineSpacing = 480;
    if (rule >= lsAtLeast) {
        // A multiple counts in 240ths of a line; the others are lengths.
        const std::optional<double> value = ParseNumber(value_->text());
        const std::optional<int> twips = ParseLength(value_->text(), units_);
        if (!value || *value <= 0 || !twips || *twips <= 0) {
            value_->setFocus();
            value_->selectAll();
            QApplication::beep();
            return;
        }
        p.lineSpacing = rule == lsMultiple  ? static_cast<int>(std::lround(*value * 240))
                        : rule == lsExactly ? -*twips
                                            : *twips;
    }
    result_ = p;
    QDialog::accept();
}

TDbRichTabDialog::TDbRichTabDialog(TDbMeasurementUnits units, QWidget* parent) : QDialog(parent), units_(units) {
    setObjectName("DbRichTabDialog");
    setWindowTitle("Tabs");
    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel("&Tab stop position:", this), 0, 0);
    position_ = new QLineEdit(this);
    position_->setObjectName("TabPosition");
    grid->addWidget(position_, 1, 0);
    list_ = new QListWidget(this);
    list_->setObjectName("TabList");
    grid->addWidget(list_, 2, 0, 4, 1);
    auto button = [this, grid](const char* name, const QString& caption, int row, auto handler) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(name);
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, handler);
        grid->addWidget(b, row, 1);
        return b;
    };
    button("SetButton", "&Set", 1, [this] { SetClick(); });
    button("ClearButton", "Cl&ear", 2, [this] { ClearClick(); });
    button("ClearAllButton", "Clear A&ll", 3, [this] { ClearAllClick(); });
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Vertical, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    grid->addWidget(buttons, 4, 1, 2, 1);
    connect(list_, &QListWidget::currentTextChanged, position_, &QLineEdit::setText);
}

void TDbRichTabDialog::SetTabs(const std::vector<int>& twips) {
    tabs_ = twips;
    Show();
}

void TDbRichTabDialog::Show() {
    std::sort(tabs_.begin(), tabs_.end());
    tabs_.erase(std::unique(tabs_.begin(), tabs_.end()), tabs_.end());
    const QSignalBlocker block(list_);
    list_->clear();
    for (int t : tabs_) list_->addItem(FormatLength(t, units_));
}

bool TDbRichTabDialog::SetClick() {
    const std::optional<int> twips = ParseLength(position_->text(), units_);
    if (!twips || *twips <= 0) {
        position_->setFocus();
        position_->selectAll();
        QApplication::beep();
        return false;
    }
    tabs_.push_back(*twips);
    Show();
    position_->clear();
    return true;
}

void TDbRichTabDialog::ClearClick() {
    const int row = list_->currentRow();
    if (row < 0 || row >= static_cast<int>(tabs_.size())) return;
    tabs_.erase(tabs_.begin() + row);
    Show();
}

void TDbRichTabDialog::ClearAllClick() {
    tabs_.clear();
    Show();
}

}  // namespace tessel
