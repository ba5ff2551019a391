#pragma once

#include <QString>

#include <optional>

// The code on a Beleg label: EAN-13 of "22001", the label number in six
// digits, "7" and the check digit. Label printing writes it, the scanning
// reads it back and the server names the Beleg behind it.
namespace archiv::common::etikett {

inline constexpr QLatin1String Praefix("22001");
inline constexpr QChar Kennziffer = u'7';
inline constexpr qint64 HoechsteNummer = 999999;

// The EAN-13 check digit of twelve digits.
int pruefziffer(QStringView zwoelf);
// The 13 digits for a label number (1 to 999999); empty outside that range.
QString code(qint64 nummer);
// The label number in a read code; nullopt for another prefix, a wrong
// length or a wrong check digit.
std::optional<qint64> nummer(const QString &code);

} // namespace archiv::common::etikett
