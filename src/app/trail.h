#pragma once
// The navigation trail: the pages the operator went through, as links separated by "-->".
// A click on a page name brings that page back and cuts the trail behind it.
#include <QLabel>
#include <QWidget>
#include <vector>

namespace zb::app {

class Page;

class NavigationTrail : public QWidget {
    Q_OBJECT
  public:
    explicit NavigationTrail(QWidget* parent = nullptr);

    // Appends a separator (unless the trail is empty) and a label with the page's caption.
    void Append(Page* page);
    // The texts of all labels, separators included, in order.
    QStringList Texts() const;
    // The label of the n-th entry (separators count).
    QLabel* LabelAt(int index) const;
    int Count() const { return static_cast<int>(entries_.size()); }

  signals:
    void pageClicked(Page* page);
    // Labels were added or removed.
    void changed();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    struct Entry {
        QLabel* label;
        Page* page;  // null for a separator
    };
    void Clicked(QLabel* label);

    std::vector<Entry> entries_;
};

}  // namespace zb::app
