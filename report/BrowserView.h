#pragma once
#include "ProfilePage.h"

#include <functional>

class QWidget;

namespace morrowlen::report {

// A browser control placed in a window: the real web view, or a recorder in tests.
class BrowserView : public Browser {
  public:
    virtual QWidget* widget() = 0;
    virtual void setScriptsEnabled(bool enabled) = 0;
};

// Creates a browser whose widget is owned by `parent`.
using BrowserFactory = std::function<BrowserView*(QWidget* parent)>;

// The Qt WebEngine view. It lives in a library of its own that is loaded with the first view,
// so that start-up does not pay for Qt WebEngine. Throws Error when that library cannot be loaded.
BrowserView* createWebView(QWidget* parent);

} // namespace morrowlen::report
