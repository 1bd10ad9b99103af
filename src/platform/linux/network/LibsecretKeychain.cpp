#include "platform/linux/network/LibsecretKeychain.h"

// GLib names a struct member after a Qt keyword macro.
#pragma push_macro("signals")
#undef signals
#include <libsecret/secret.h>
#pragma pop_macro("signals")

namespace quorvia::platform::native {
namespace {

const SecretSchema* schema()
{
    static const SecretSchema value = {
        "com.local.quorvia.GenericPassword",
        SECRET_SCHEMA_NONE,
        {
            {"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING},
        },
        0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    };
    return &value;
}

struct Lookup {
    bool ok = false;
    std::optional<QByteArray> data;
};

Lookup lookup(const QString& service, const QString& account)
{
    GError* error = nullptr;
    const QByteArray s = service.toUtf8();
    const QByteArray a = account.toUtf8();
    gchar* password = secret_password_lookup_sync(schema(), nullptr, &error, "service", s.constData(), "account",
                                                  a.constData(), nullptr);
    Lookup result;
    if (error) {
        g_error_free(error);
        return result;
    }
    result.ok = true;
    if (password) {
        result.data = QByteArray(password);
        secret_password_free(password);
    }
    return result;
}

} // namespace

std::optional<QByteArray> LibsecretKeychain::readGenericPassword(const QString& service, const QString& account)
{
    return lookup(service, account).data;
}

KeychainStatus LibsecretKeychain::updateGenericPassword(const QString& service, const QString& account, const QByteArray& data)
{
    const Lookup existing = lookup(service, account);
    if (!existing.ok)
        return KeychainStatus::failure;
    if (!existing.data)
        return KeychainStatus::itemNotFound;
    // Storing under the same attributes replaces the item's secret in place.
    return addGenericPassword(service, account, data);
}

KeychainStatus LibsecretKeychain::addGenericPassword(const QString& service, const QString& account, const QByteArray& data)
{
    // The store takes a C string: data with a NUL in it cannot be kept whole.
    if (data.contains('\0'))
        return KeychainStatus::failure;
    GError* error = nullptr;
    const QByteArray s = service.toUtf8();
    const QByteArray a = account.toUtf8();
    const QByteArray label = s + " (" + a + ")";
    const gboolean stored = secret_password_store_sync(schema(), SECRET_COLLECTION_DEFAULT, label.constData(),
                                                       data.constData(), nullptr, &error, "service", s.constData(),
                                                       "account", a.constData(), nullptr);
    if (error) {
        g_error_free(error);
        return KeychainStatus::failure;
    }
    return stored ? KeychainStatus::success : KeychainStatus::failure;
}

KeychainStatus LibsecretKeychain::deleteGenericPassword(const QString& service, const QString& account)
{
    GError* error = nullptr;
    const QByteArray s = service.toUtf8();
    const QByteArray a = account.toUtf8();
    const gboolean removed = secret_password_clear_sync(schema(), nullptr, &error, "service", s.constData(), "account",
                                                        a.constData(), nullptr);
    if (error) {
        g_error_free(error);
        return KeychainStatus::failure;
    }
    return removed ? KeychainStatus::success : KeychainStatus::itemNotFound;
}

} // namespace quorvia::platform::native
