// Which column is which: a first row that names them, in any order and spelling a Turkish user types; or
// A to D when it names none or holds a phone number.
#include "phonebook/ImportColumns.h"

#include <QStringList>
#include <gtest/gtest.h>

namespace {

struct HeaderCase {
    const char* cells;   // the first row, ";" between cells
    const char* summary; // ImportColumns::summary()
};

std::array<QString, kReadColumns> row(const char* cells) {
    std::array<QString, kReadColumns> texts;
    const QStringList split = QString::fromUtf8(cells).split(u';');
    for (qsizetype i = 0; i < split.size() && i < kReadColumns; ++i) {
        texts.at(static_cast<std::size_t>(i)) = split[i];
    }
    return texts;
}

class HeaderTest : public ::testing::TestWithParam<HeaderCase> {};

} // namespace

TEST_P(HeaderTest, TheFirstRowNamesTheColumnsOrItIsAContact) {
    const std::optional<ImportColumns> header = ImportColumns::fromHeader(row(GetParam().cells));
    EXPECT_EQ((header ? *header : ImportColumns::byPosition()).summary(),
              QString::fromUtf8(GetParam().summary));
}

INSTANTIATE_TEST_SUITE_P(
    FirstRows, HeaderTest,
    ::testing::Values(
        HeaderCase{"GRUP;AD SOYAD;TELEFON;OPERATOR",
                   "Başlığa göre sütunlar: grup A, ad soyad B, telefon C, operatör D"},
        HeaderCase{"Telefon;Adı Soyadı;Not;Grubu", "Başlığa göre sütunlar: grup D, ad soyad B, telefon A"},
        HeaderCase{"Sıra;İsim;Cep Telefonu;E-posta;Hat",
                   "Başlığa göre sütunlar: ad soyad B, telefon C, operatör E"},
        HeaderCase{"sıra no;AD;GSM No;OPERATÖR", "Başlığa göre sütunlar: ad soyad B, telefon C, operatör D"},
        HeaderCase{"Ad Soyad;Cep Tel.;Tel", "Başlığa göre sütunlar: ad soyad A, telefon B"},
        HeaderCase{"Grup;Ad Soyad;Cep Tel.;Operatör",
                   "Başlığa göre sütunlar: grup A, ad soyad B, telefon C, operatör D"},
        HeaderCase{";;;;;;;;;;;;;;;Numara", "Başlığa göre sütunlar: telefon P"},
        // Not a header: a phone number in it, or no name of a column; then A to D.
        HeaderCase{"Grup;Ali;0532 123 45 67;Avea", "Sütunlar: grup A, ad soyad B, telefon C, operatör D"},
        HeaderCase{"Aile;Ali Veli;;Avea", "Sütunlar: grup A, ad soyad B, telefon C, operatör D"},
        HeaderCase{"Adres;Adana;Telefonsuz", "Sütunlar: grup A, ad soyad B, telefon C, operatör D"}));

struct NameCase {
    const char* cell;
    std::optional<Field> field;
};

class FieldNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(FieldNameTest, CaseTurkishLettersAndPunctuationAreFolded) {
    EXPECT_EQ(fieldNamedBy(QString::fromUtf8(GetParam().cell)), GetParam().field) << GetParam().cell;
}

INSTANTIATE_TEST_SUITE_P(
    Cells, FieldNameTest,
    ::testing::Values(NameCase{"ADI SOYADI", Field::adsoyad}, NameCase{"adı-soyadı", Field::adsoyad},
                      NameCase{"İSİM", Field::adsoyad}, NameCase{"Isim Soyisim", Field::adsoyad},
                      NameCase{"  Telefon 1 ", Field::telefon}, NameCase{"GSM", Field::telefon},
                      NameCase{"operatör", Field::gsm}, NameCase{"OPERATOR", Field::gsm},
                      NameCase{"Hat Türü", Field::gsm}, NameCase{"GRUBU", Field::grup},
                      NameCase{"Adres", std::nullopt}, NameCase{"Telefonlar", std::nullopt},
                      NameCase{"Hatice", std::nullopt}, NameCase{"", std::nullopt}));
