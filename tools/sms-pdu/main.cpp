// sms-pdu: the SMS-SUBMIT PDUs that carry a text to a number, as AT+CMGS takes them in PDU mode.
//
//   sms-pdu [--report] [--reference N] <number> <text>
//
// The text in UTF-8. Prints the alphabet on the first line ("GSM 7-bit", "GSM 7-bit, Turkish
// single shift", ..., "UCS-2"), then one line a part: the TPDU's length in octets, a space, the
// hex (for "AT+CMGS=<length>" and, after the "> " prompt, the hex and Ctrl-Z). Exit status 1 with
// the reason for a text that is too long or a number no phone can dial, 2 for a wrong command line.
#include "SmsCharacters.h"
#include "SmsSubmit.h"

#include <iostream>
#include <string>

namespace {

int Usage() {
    std::cerr << "usage: sms-pdu [--report] [--reference N] <number> <text>\n";
    return 2;
}

std::string AlphabetName(const SmsAlphabet& alphabet) {
    if (alphabet.coding == SmsCoding::Ucs2) {
        return "UCS-2";
    }
    std::string name = "GSM 7-bit";
    if (alphabet.lockingShift == NationalLanguage::Turkish) {
        name += ", Turkish locking shift";
    }
    if (alphabet.singleShift == NationalLanguage::Turkish) {
        name += ", Turkish single shift";
    }
    return name;
}

} // namespace

int main(int argc, char** argv) {
    SmsSubmitOptions options;
    int i = 1;
    for (; i < argc && std::string(argv[i]).rfind("--", 0) == 0; ++i) {
        const std::string option = argv[i];
        if (option == "--report") {
            options.statusReport = true;
        } else if (option == "--reference" && i + 1 < argc) {
            try {
                const int reference = std::stoi(argv[++i]);
                if (reference < 0 || reference > 255) {
                    return Usage();
                }
                options.reference = static_cast<std::uint8_t>(reference);
            } catch (const std::exception&) {
                return Usage();
            }
        } else {
            return Usage();
        }
    }
    if (argc - i != 2) {
        return Usage();
    }
    try {
        const SmsSubmission submission =
            buildSmsSubmit(argv[i], std::u32string_view(fromUtf8(argv[i + 1])), options);
        std::cout << AlphabetName(submission.alphabet) << '\n';
        for (const SmsPart& part : submission.parts) {
            std::cout << part.tpduOctets << ' ' << part.hex << '\n';
        }
    } catch (const std::exception& error) {
        std::cerr << error.what() << '\n';
        return 1;
    }
    return 0;
}
