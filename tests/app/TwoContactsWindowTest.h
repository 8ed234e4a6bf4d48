#pragma once

#include "FakePorts.h"
#include "PhonebookFile.h"
#include "ScriptedDialogs.h"
#include "app/Unit1.h"
#include "app/Unit2.h"

#include <gtest/gtest.h>
#include <memory>

// The main window on a phone book of two contacts, wired to its contact
// dialog as the program wires them, with no phone attached.
class TwoContactsWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        file.add({
            {"Ayşe Yılmaz", "05351234567", "Turkcell", "Ankara"},
            {"Mehmet Öz", "05329876543", "Vodafone", "İstanbul"},
        });
        form1 = std::make_unique<TForm1>(file.dir(), modemWithPorts({}));
        form2 = std::make_unique<TForm2>(*form1);
        form1->setContactDialog(form2.get());
        form1->show();
    }

    ScriptedDialogs dialogs;
    PhonebookFile file;
    std::unique_ptr<TForm1> form1;
    std::unique_ptr<TForm2> form2;
};
