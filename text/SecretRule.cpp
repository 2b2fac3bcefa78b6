#include "text/SecretRule.h"

namespace kelpie {

QString rawValue(SecretRule rule)
{
    switch (rule) {
    case SecretRule::privateKey: return QStringLiteral("privateKey");
    case SecretRule::accessToken: return QStringLiteral("accessToken");
    case SecretRule::residentId: return QStringLiteral("residentId");
    case SecretRule::cardNumber: return QStringLiteral("cardNumber");
    case SecretRule::phoneNumber: return QStringLiteral("phoneNumber");
    case SecretRule::emailAddress: return QStringLiteral("emailAddress");
    case SecretRule::ipAddress: return QStringLiteral("ipAddress");
    case SecretRule::labelledValue: return QStringLiteral("labelledValue");
    case SecretRule::highEntropy: return QStringLiteral("highEntropy");
    }
    return {};
}

QString displayName(SecretRule rule)
{
    switch (rule) {
    case SecretRule::privateKey: return QStringLiteral("私钥");
    case SecretRule::accessToken: return QStringLiteral("访问令牌");
    case SecretRule::residentId: return QStringLiteral("身份证号");
    case SecretRule::cardNumber: return QStringLiteral("银行卡号");
    case SecretRule::phoneNumber: return QStringLiteral("电话号码");
    case SecretRule::emailAddress: return QStringLiteral("电子邮箱");
    case SecretRule::ipAddress: return QStringLiteral("IP 地址");
    case SecretRule::labelledValue: return QStringLiteral("密码或验证码");
    case SecretRule::highEntropy: return QStringLiteral("随机字符串");
    }
    return {};
}

} // namespace kelpie
