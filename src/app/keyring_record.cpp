#include "app/keyring_record.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

std::string Compact(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

std::optional<QJsonObject> ObjectOf(const std::string& secret) {
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(secret));
    if (!document.isObject()) return std::nullopt;
    return document.object();
}

// The field's text; nothing when it is missing or not a string.
std::optional<std::string> TextOf(const QJsonObject& object, const char* name) {
    const QJsonValue value = object.value(name);
    if (!value.isString()) return std::nullopt;
    return value.toString().toStdString();
}

}  // namespace

std::string RecordText(const TPasswordRecord& record) {
    return Compact(
        {{"encrypted", record.Encrypted}, {"password", QString::fromStdString(record.Password)}});
}

std::optional<TPasswordRecord> PasswordRecordOf(const std::string& secret) {
    const auto object = ObjectOf(secret);
    if (!object || !object->value("encrypted").isBool()) return std::nullopt;
    const auto password = TextOf(*object, "password");
    if (!password) return std::nullopt;
    return TPasswordRecord{*password, object->value("encrypted").toBool()};
}

std::string RecordText(const TSignInRecord& record) {
    return Compact({{"client_id", QString::fromStdString(record.ClientId)},
                    {"refresh_token", QString::fromStdString(record.RefreshToken)},
                    {"token_url", QString::fromStdString(record.TokenUrl)}});
}

std::optional<TSignInRecord> SignInRecordOf(const std::string& secret) {
    const auto object = ObjectOf(secret);
    if (!object) return std::nullopt;
    const auto refresh = TextOf(*object, "refresh_token");
    const auto url = TextOf(*object, "token_url");
    const auto client = TextOf(*object, "client_id");
    if (!refresh || !url || !client || refresh->empty()) return std::nullopt;
    return TSignInRecord{*refresh, *url, *client};
}
