#include "phonebook/PackedContacts.h"

#include "phonebook/NumberSet.h"

#include <gtest/gtest.h>

namespace {

Contact contact(qint64 id, QString adsoyad, QString telefon = QString(), QString gsm = QString(),
                QString grup = QString()) {
    Contact c;
    c.id = id;
    c.adsoyad = std::move(adsoyad);
    c.telefon = std::move(telefon);
    c.gsm = std::move(gsm);
    c.grup = std::move(grup);
    return c;
}

TEST(PackedContactsTest, GivesBackEachRowAsStoredNullsApartFromEmptyTexts) {
    const std::vector<Contact> rows{
        contact(1, "Ayşe Yılmaz", "05351234567", "Turkcell", "Ankara"),
        contact(2, "", "", "", ""),
        contact(3, QString()), // no column holds a value
        contact(4, "IŞIL İNCE ığüşöç 😀", "+90 (532) 765 43 21", QString(), "Arkadaşlar"),
        contact(5, QString(255, u'ş'), QString(255, u'9'), QString(255, u'x'), QString(255, u'İ')),
        contact(6, QString(3 << 20, u'a'), "0501"), // more than one block
        contact(7, "Son"),
    };
    PackedContacts packed;
    for (const Contact& row : rows) {
        packed.push_back(row);
    }
    ASSERT_EQ(packed.size(), static_cast<int>(rows.size()));
    for (int i = 0; i < packed.size(); ++i) {
        EXPECT_EQ(packed.at(i), rows[static_cast<std::size_t>(i)]) << "row " << i;
        for (const Field field : kFields) {
            const QString text = packed.text(i, field);
            EXPECT_EQ(text, rows[static_cast<std::size_t>(i)][field]);
            EXPECT_EQ(text.isNull(), rows[static_cast<std::size_t>(i)][field].isNull());
        }
    }
    EXPECT_TRUE(packed.text(1, Field::gsm).isEmpty() && !packed.text(1, Field::gsm).isNull());
    EXPECT_TRUE(packed.text(2, Field::gsm).isNull());
}

TEST(PackedContactsTest, RowsChangeGoAndComeLikeAList) {
    PackedContacts packed;
    for (int i = 0; i < 100000; ++i) {
        packed.push_back(
            contact(i, QStringLiteral("Kişi %1").arg(i), QStringLiteral("05%1").arg(320000000 + i)));
    }
    EXPECT_EQ(packed.at(99999).adsoyad, "Kişi 99999");
    packed.set(5, contact(5, "Değişti", "0532"));
    EXPECT_EQ(packed.at(5), contact(5, "Değişti", "0532"));
    EXPECT_EQ(packed.at(6).adsoyad, "Kişi 6") << "the next row is untouched";
    packed.erase(5);
    EXPECT_EQ(packed.id(5), 6);
    packed.pop_back();
    EXPECT_EQ(packed.size(), 99998);
    EXPECT_EQ(packed.at(packed.size() - 1).adsoyad, "Kişi 99998");
    packed.clear();
    EXPECT_TRUE(packed.empty());
    packed.push_back(contact(1, "Yeniden"));
    EXPECT_EQ(packed.at(0).adsoyad, "Yeniden");
}

TEST(NumberSetTest, TakesEachNumberOnceThroughManyGrowths) {
    NumberSet set;
    for (quint64 i = 1; i <= 300000; ++i) {
        ASSERT_TRUE(set.insert(i << 4 | 11)) << i;
    }
    for (quint64 i = 1; i <= 300000; i += 997) {
        EXPECT_FALSE(set.insert(i << 4 | 11)) << i;
    }
    EXPECT_TRUE(set.insert(1 << 4 | 12)) << "the same digits in another count are another number";
}

} // namespace
