#include "tests/foundation/charset/oracle.h"

#include <unicode/ustring.h>

namespace kotest {

std::string icuConvert(const char* to, const char* from, const std::string& text, UErrorCode* status) {
    UErrorCode err = U_ZERO_ERROR;
    int32_t n = ucnv_convert(to, from, nullptr, 0, text.data(), static_cast<int32_t>(text.size()), &err);
    std::string out(static_cast<size_t>(n) + 4, '\0');
    err = U_ZERO_ERROR;
    n = ucnv_convert(to, from, out.data(), static_cast<int32_t>(out.size()), text.data(),
                     static_cast<int32_t>(text.size()), &err);
    if (status) *status = err;
    out.resize(U_SUCCESS(err) ? static_cast<size_t>(n) : 0);
    return out;
}

std::u16string utf16(const std::string& s) {
    std::u16string out(s.size() + 1, u'\0');
    int32_t n = 0;
    UErrorCode err = U_ZERO_ERROR;
    u_strFromUTF8(out.data(), static_cast<int32_t>(out.size()), &n, s.data(), static_cast<int32_t>(s.size()),
                  &err);
    out.resize(static_cast<size_t>(n));
    return out;
}

std::string utf8(const std::u16string& s) {
    std::string out(s.size() * 3 + 1, '\0');
    int32_t n = 0;
    UErrorCode err = U_ZERO_ERROR;
    u_strToUTF8(out.data(), static_cast<int32_t>(out.size()), &n, s.data(), static_cast<int32_t>(s.size()),
                &err);
    out.resize(static_cast<size_t>(n));
    return out;
}

std::string bytesOf(const std::u16string& s) {
    return std::string(reinterpret_cast<const char*>(s.data()), s.size() * 2);
}

const std::vector<std::string>& corpus() {
    static const std::vector<std::string> texts = {
        "plain ASCII text, nothing else; 0123456789",
        "Größenmaßstäbe für Straßenbahnwagen: Fußgänger überqueren früh.",
        "Le cœur déçu mais l'âme plutôt naïve, Louÿs rêva de crapaüter en canoë.",
        "В чащах юга жил бы цитрус? Да, но фальшивый экземпляр!",
        "Ξεσκεπάζω την ψυχοφθόρα βδελυγμία.",
        "いろはにほへと ちりぬるを わかよたれそ つねならむ 東京都千代田区 ｶﾀｶﾅ",
        "다람쥐 헌 쳇바퀴에 타고파. 한국어 텍스트입니다.",
        "我能吞下玻璃而不伤身体。中文繁體字測試",
        "emoji 😀 and 𝄞 music, 𠮷野家 with surrogates 🎉",
        "€ ‚ƒ„…†‡ˆ‰Š‹ŒŽ ‘’“”•–—˜™š›œžŸ ¡¢£¤¥¦§",
    };
    return texts;
}

} // namespace kotest
