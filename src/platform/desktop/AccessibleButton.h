#pragma once

#include <QMetaObject>
#include <QWidget>

#include <functional>

namespace quorvia::platform {

// Assistive technology hears every widget of the class as a button, by its
// accessible name; its press action runs `press` on the widget. Main thread.
void presentAsButton(const QMetaObject& type, std::function<void(QWidget*)> press);

} // namespace quorvia::platform
