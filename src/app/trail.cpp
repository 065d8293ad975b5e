#include "app/trail.h"

#include <QHBoxLayout>
#include <QMouseEvent>

#include "app/page.h"
#include "app/shell_texts.h"

namespace zb::app {

namespace {
// The window's font is 8 points; page names are 6 points larger, separators 4.
constexpr int kPageNamePoints = 14;
constexpr int kSeparatorPoints = 12;
}  // namespace

NavigationTrail::NavigationTrail(QWidget* parent) : QWidget(parent) {
    setObjectName("NavigationTrail");
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 4, 8, 0);
    layout->setSpacing(8);
    layout->addStretch(1);
}

void NavigationTrail::Append(Page* page) {
    auto* layout = static_cast<QHBoxLayout*>(this->layout());
    auto add = [&](QLabel* label) {
        // Keep the stretch last.
        layout->insertWidget(layout->count() - 1, label, 0, Qt::AlignVCenter);
    };
    if (!entries_.empty()) {
        auto* separator = new QLabel(texts::kTrailSeparator, this);
        QFont f("Times New Roman");
        f.setPointSize(kSeparatorPoints);
        separator->setFont(f);
        separator->setStyleSheet("color: navy;");
        add(separator);
        entries_.push_back({separator, nullptr});
    }
    auto* label = new QLabel(page->Caption(), this);
    QFont f("Times New Roman");
    f.setPointSize(kPageNamePoints);
    f.setUnderline(true);
    label->setFont(f);
    label->setStyleSheet("color: navy;");
    label->setCursor(Qt::PointingHandCursor);
    label->installEventFilter(this);
    add(label);
    entries_.push_back({label, page});
    emit changed();
}

QStringList NavigationTrail::Texts() const {
    QStringList list;
    for (const auto& entry : entries_) {
        list << entry.label->text();
    }
    return list;
}

QLabel* NavigationTrail::LabelAt(int index) const {
    return index >= 0 && index < Count() ? entries_[index].label : nullptr;
}

bool NavigationTrail::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        if (auto* label = qobject_cast<QLabel*>(watched)) {
            Clicked(label);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void NavigationTrail::Clicked(QLabel* label) {
    auto it = std::find_if(entries_.begin(), entries_.end(),
                           [label](const Entry& e) { return e.label == label; });
    if (it == entries_.end() || it->page == nullptr) {
        return;
    }
    Page* page = it->page;
    // Labels behind the clicked one are removed and freed; the page's loader does not run.
    while (entries_.back().label != label) {
        entries_.back().label->deleteLater();
        entries_.back().label->hide();
        layout()->removeWidget(entries_.back().label);
        entries_.pop_back();
    }
    emit pageClicked(page);
    emit changed();
}

}  // namespace zb::app
