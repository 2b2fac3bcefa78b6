#pragma once

#include <QString>

#include <array>

namespace kelpie {

// The kinds of secret the finder recognises, in the order in which they win
// when two of them claim overlapping text: the rule with the stronger
// evidence names the merged match.
enum class SecretRule {
    privateKey,    // a PEM private key block, header to footer
    accessToken,   // a well-known token shape: ghp_…, sk-…, AKIA…, xox…-, a JWT
    residentId,    // an 18-character PRC resident ID with a valid check digit
    cardNumber,    // a payment card number of a known issuer passing the Luhn check
    phoneNumber,   // a mainland mobile number or an international +CC number
    emailAddress,  // an e-mail address
    ipAddress,     // an IPv4 or IPv6 host address
    labelledValue, // the value after "password", "token", "密码", "验证码" …
    highEntropy,   // a long random-looking string
};

inline constexpr std::array<SecretRule, 9> allSecretRules{
    SecretRule::privateKey, SecretRule::accessToken,   SecretRule::residentId,
    SecretRule::cardNumber, SecretRule::phoneNumber,   SecretRule::emailAddress,
    SecretRule::ipAddress,  SecretRule::labelledValue, SecretRule::highEntropy,
};

// The stable name: "privateKey", "accessToken", …
QString rawValue(SecretRule rule);

// The name the preview shows beside a match: "私钥", "访问令牌", …
QString displayName(SecretRule rule);

} // namespace kelpie
