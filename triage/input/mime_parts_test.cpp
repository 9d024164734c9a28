// Saved mails as mail programs write them (Python's email package makes
// them here): each report in a body, an attachment or a forwarded message is
// read as the log itself, and its record names the part it came from.

#include "triage/input/mime_parts.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "triage/output/outputs.h"
#include "triage/test_support.h"

namespace triage {
namespace {

// Runs a Python script that builds an EmailMessage `m` from the logs in
// `logs` (troubled: UTF-8 text, clean: UTF-8 text) and returns its bytes.
std::string PythonMail(const std::string& build)
{
    char folder[] = "/tmp/triage-mail-XXXXXX";
    if (mkdtemp(folder) == nullptr)
        return {};
    const std::string dir = folder;
    std::ofstream(dir + "/troubled.txt", std::ios::binary) << testing::GoldenText("troubled-pc.txt");
    std::ofstream(dir + "/clean.txt", std::ios::binary) << testing::GoldenText("clean-pc.txt");
    std::ofstream(dir + "/make.py") << "import sys\n"
                                      "from email.message import EmailMessage\n"
                                      "from email import policy\n"
                                      "troubled = open(sys.argv[1] + '/troubled.txt', 'rb').read()\n"
                                      "clean = open(sys.argv[1] + '/clean.txt', 'rb').read()\n"
                                      "m = EmailMessage()\n"
                                      "m['From'] = 'user@example.com'\nm['Subject'] = 'zemlodiag'\n"
                                      "writer = policy.SMTP\n"
                                   << build
                                   << "\nsys.stdout.buffer.write(m.as_bytes(policy=writer))\n";
    const std::string command = "python3 " + dir + "/make.py " + dir + " > " + dir + "/mail.eml";
    std::string bytes;
    if (std::system(command.c_str()) == 0) {
        std::ifstream mail(dir + "/mail.eml", std::ios::binary);
        std::ostringstream content;
        content << mail.rdbuf();
        bytes = content.str();
    }
    std::system(("rm -rf " + dir).c_str());
    return bytes;
}

TEST(MimeParts, EachReportInAMailReadsAsTheLogAndNamesItsPart)
{
    const std::vector<std::string> troubled = testing::CauseIds(testing::ReadBytes(testing::Golden("troubled-pc.txt")).runs.at(0));
    const std::vector<std::string> clean = testing::CauseIds(testing::ReadBytes(testing::Golden("clean-pc.txt")).runs.at(0));
    struct Run {
        std::string part, encoding;
        std::vector<std::string> causes;
    };
    const struct {
        const char* name;
        const char* build;
        std::vector<Run> runs;
        std::string error;
    } cases[] = {
        {"the log attached as the program wrote it (UTF-16LE, base64)",
         "m.set_content('The log is attached.\\n')\n"
         "m.add_attachment(b'\\xff\\xfe' + troubled.decode().encode('utf-16-le'), maintype='application',"
         " subtype='octet-stream', filename='zemlodiag.txt')",
         {{"2 zemlodiag.txt", "UTF-16LE", troubled}}, ""},
        {"a body in base64 beside its HTML twin",
         "m.set_content(clean.decode(), cte='base64')\n"
         "m.add_alternative('<p>log</p>', subtype='html')",
         {{"1", "UTF-8 without BOM", clean}}, ""},
        {"a body and a forwarded message, quoted-printable",
         "f = EmailMessage()\nf['From'] = 'pc@example.com'\n"
         "f.set_content(clean.decode(), cte='quoted-printable')\n"
         "m.set_content(troubled.decode(), cte='7bit')\n"
         "m.add_attachment(f)",
         {{"1", "UTF-8 without BOM", troubled}, {"2.1", "UTF-8 without BOM", clean}}, ""},
        {"a forwarded mail with the log attached",
         "f = EmailMessage()\nf['From'] = 'pc@example.com'\nf.set_content('see attachment')\n"
         "f.add_attachment(troubled.decode().encode('utf-16'), maintype='text', subtype='plain',"
         " filename='zemlodiag.txt')\n"
         "m.set_content('FYI')\nm.add_attachment(f)",
         {{"2.2 zemlodiag.txt", "UTF-16LE", troubled}}, ""},
        {"only an archive attached that is not read",
         "m.set_content('logs attached')\n"
         "m.add_attachment(b'7z\\xbc\\xaf\\x27\\x1c\\x00\\x04', maintype='application', subtype='x-7z-compressed',"
         " filename='logs.7z')",
         {},
         "a mail holding no zemlodiag report; part 2 (logs.7z): a 7-Zip archive: unpack it and send the log files,"
         " or pack them as .zip"},
        {"a log named .txt that is a Word document inside",
         "m.set_content('log attached')\n"
         "m.add_attachment(b'\\xd0\\xcf\\x11\\xe0\\xa1\\xb1\\x1a\\xe1' + bytes(64), maintype='application',"
         " subtype='octet-stream', filename='zemlodiag.txt')",
         {},
         "a mail holding no zemlodiag report; part 2 (zemlodiag.txt): an Outlook message or an older Office document:"
         " save the attached log file itself, or save the mail as .eml"},
        {"no report at all", "m.set_content('Hello, the program did not start.')", {},
         "a mail holding no zemlodiag report"},
        // Names that are not ASCII, as the package writes them: an extended
        // value, and one continued over two parameters.
        {"attachment names encoded as parameter values",
         "log = b'\\xff\\xfe' + troubled.decode().encode('utf-16-le')\n"
         "m.set_content('Logs attached.\\n')\n"
         "m.add_attachment(log, maintype='application', subtype='octet-stream', filename='zemlodiag kopie \u00fc.txt')\n"
         "m.add_attachment(log, maintype='application', subtype='octet-stream',"
         " filename='zemlodiag \u2013 Protokoll vom Dienstag f\u00fcr den Support, Kopie zwei.txt')",
         {{"2 zemlodiag kopie \u00fc.txt", "UTF-16LE", troubled},
          {"3 zemlodiag \u2013 Protokoll vom Dienstag f\u00fcr den Support, Kopie zwei.txt", "UTF-16LE", troubled}},
         ""},
        // As older mail programs write them: encoded words in quoted values,
        // split over folded lines; a charset not read here stays as it came.
        {"attachment names in encoded words",
         "from email.mime.multipart import MIMEMultipart\n"
         "from email.mime.application import MIMEApplication\n"
         "from email.header import Header\n"
         "log = b'\\xff\\xfe' + troubled.decode().encode('utf-16-le')\n"
         "m = MIMEMultipart()\nm['From'] = 'user@example.com'\n"
         "writer = policy.compat32.clone(linesep='\\r\\n')\n"
         "names = [('utf-8', '\u0436\u0443\u0440\u043d\u0430\u043b zemlodiag \u043f\u0440\u043e\u0432\u0435\u0440\u043a\u0438.txt'),"
         " ('iso-8859-1', 'zemlodiag_kopie_\u00e4.txt'), ('koi8-r', '\u0436\u0443\u0440\u043d\u0430\u043b.txt')]\n"
         "for charset, name in names:\n"
         "    a = MIMEApplication(log, 'octet-stream')\n"
         "    a.add_header('Content-Disposition', 'attachment', filename=Header(name, charset, maxlinelen=40).encode())\n"
         "    m.attach(a)\n"
         "a = MIMEApplication(log, 'octet-stream')\n"
         "a.set_param('name', Header('zemlodiag (Kopie).txt', 'iso-8859-1').encode())\n"
         "m.attach(a)",
         {{"1 \u0436\u0443\u0440\u043d\u0430\u043b zemlodiag \u043f\u0440\u043e\u0432\u0435\u0440\u043a\u0438.txt", "UTF-16LE", troubled},
          {"2 zemlodiag_kopie_\u00e4.txt", "UTF-16LE", troubled},
          {"3 =?koi8-r?b?1tXSzsHMLnR4dA==?=", "UTF-16LE", troubled},
          {"4 zemlodiag (Kopie).txt", "UTF-16LE", troubled}},
         ""},
        // Quoted-printable UTF-16: every zero byte "=00", and soft line
        // breaks between the two bytes of a character.
        {"the log attached as the program wrote it, quoted-printable",
         "m.set_content('The log is attached.\\n')\n"
         "m.add_attachment(b'\\xff\\xfe' + troubled.decode().encode('utf-16-le'), maintype='text', subtype='plain',"
         " filename='zemlodiag.txt', cte='quoted-printable')",
         {{"2 zemlodiag.txt", "UTF-16LE", troubled}}, ""},
        {"a UTF-16LE body, quoted-printable",
         "m.set_content(clean.decode().encode('utf-16-le'), maintype='text', subtype='plain', cte='quoted-printable',"
         " params={'charset': 'utf-16le'})",
         {{"1", "UTF-16LE without BOM", clean}}, ""},
    };
    for (const auto& c : cases) {
        const std::string mail = PythonMail(c.build);
        ASSERT_FALSE(mail.empty()) << c.name << ": python3 made no mail";
        const auto read = testing::ReadBytes(mail);
        EXPECT_EQ(read.input.error, c.error) << c.name;
        ASSERT_EQ(read.runs.size(), c.runs.size()) << c.name;
        for (std::size_t i = 0; i < c.runs.size(); ++i) {
            EXPECT_EQ(read.runs[i].part, c.runs[i].part) << c.name << ", run " << i + 1;
            EXPECT_EQ(read.runs[i].encoding, c.runs[i].encoding) << c.name << ", run " << i + 1;
            EXPECT_EQ(testing::CauseIds(read.runs[i]), c.runs[i].causes) << c.name << ", run " << i + 1;
            EXPECT_EQ(RecordJson(read.runs[i])["part"], c.runs[i].part) << c.name;
        }
    }
    // A log that is no mail has no part, and its record no "part".
    const auto plain = testing::ReadBytes(testing::Golden("clean-pc.txt"));
    EXPECT_FALSE(RecordJson(plain.runs.at(0)).contains("part"));
}

}  // namespace
}  // namespace triage
