#include "app/CommandDialogs.h"

#include "platform/application/ApplicationShell.h"
#include "platform/Platform.h"

namespace quorvia::CommandDialogs {

platform::AlertResponse run(const platform::AlertRequest& request)
{
    platform::current().application().activateIgnoringOtherApps();
    return platform::current().dialogs().runAlert(request);
}

bool confirm(platform::AlertStyle style, const QString& message, const QString& informative,
             const QString& confirmTitle, const QString& cancel)
{
    platform::AlertRequest request;
    request.style = style;
    request.messageText = message;
    request.informativeText = informative;
    request.buttons = {confirmTitle, cancel};
    return run(request).isFirstButton();
}

void acknowledge(platform::AlertStyle style, const QString& message, const QString& informative)
{
    platform::AlertRequest request;
    request.style = style;
    request.messageText = message;
    request.informativeText = informative;
    request.buttons = {acknowledgeTitle};
    run(request);
}

} // namespace quorvia::CommandDialogs
