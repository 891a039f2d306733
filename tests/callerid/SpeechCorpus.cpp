#include "tests/callerid/SpeechCorpus.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <unistd.h>

namespace norvel_test {

namespace {

struct TText {
    const char* Language;
    const char* Text;
};

// Everyday phone talk with numbers, dates and spelled names: the kind of speech a recorder
// hears between dialling and hanging up.
const TText kTexts[] = {
    {"en-us",
     "Hello, this is Margaret from the dental office, calling about your appointment on "
     "Thursday the fourteenth at half past three. If that time no longer works for you, "
     "please call us back at five five five, two eight one, four nine nine seven, and ask "
     "for extension two hundred and twelve. We are open from eight in the morning until six "
     "in the evening, Monday to Friday. Thank you, and have a wonderful afternoon."},
    {"de",
     "Guten Tag, hier spricht Herr Bauer von der Hausverwaltung. Ich rufe wegen der "
     "Heizungsablesung am kommenden Dienstag an. Der Techniker kommt zwischen neun und zwölf "
     "Uhr. Bitte rufen Sie mich unter null sieben elf, vier acht drei, sechzig zwei zurück, "
     "falls der Termin nicht passt. Vielen Dank und einen schönen Tag noch, auf Wiederhören."},
    {"fr", "Bonjour, c'est Julien de l'agence. Je vous appelle au sujet du dossier numéro quatre "
           "cent vingt-sept. Les documents sont arrivés ce matin et tout semble en ordre. Pouvez-"
           "vous me rappeler au zéro six, quarante-deux, dix-huit, soixante-treize, quatre-vingt-"
           "onze avant vendredi midi? Sinon, je passerai lundi prochain vers dix heures. Merci "
           "beaucoup et bonne journée."},
    {"es", "Buenas tardes, le habla Carmen del servicio técnico. Su lavadora ya está reparada y "
           "puede recogerla a partir del miércoles. El importe total es de ochenta y cinco euros "
           "con cincuenta. Nuestro horario es de nueve a dos y de cinco a ocho. Si tiene alguna "
           "pregunta, llame al nueve uno, tres cuatro siete, veintidós, dieciocho. Muchas gracias "
           "y hasta pronto."},
    {"it",
     "Pronto, buongiorno, sono Marco dello studio legale. La chiamo per confermare l'incontro "
     "di martedì ventitré alle undici e trenta. Le ricordo di portare un documento d'identità "
     "e la copia del contratto. Per qualsiasi cambiamento mi può richiamare al tre quattro "
     "sette, ottocentoventi, cinquantasei, diciannove. Grazie mille, arrivederci e buona "
     "giornata."},
    {"pl", "Dzień dobry, mówi Anna z przychodni. Dzwonię w sprawie wyników badań, które są już "
           "gotowe do odbioru. Zapraszamy od poniedziałku do piątku w godzinach od ósmej do "
           "osiemnastej. W razie pytań proszę dzwonić pod numer dwadzieścia dwa, sześćset "
           "czterdzieści, trzydzieści jeden, osiemdziesiąt pięć. Dziękuję bardzo i do widzenia."},
    {"ru", "Здравствуйте, это Наталья из банка. Я звоню по поводу вашей заявки номер триста сорок "
           "восемь. Нам нужна копия паспорта и справка о доходах за последние шесть месяцев. "
           "Документы можно принести в любое отделение до пятницы. Если у вас есть вопросы, "
           "позвоните по номеру восемь, девятьсот шестнадцать, двести сорок, семнадцать, "
           "пятьдесят два. Спасибо, всего доброго."},
    {"cmn",
     "你好，我是快递公司的小王。你的包裹已经到了，今天下午三点到五点之间送到你家。如果家里没有人，"
     "请给我打电话，号码是一三八，零一二七，四五六九。也可以放在楼下的快递柜里，取件码是八二六四。"
     "谢谢你，再见。"},
};

// Voice variants and their pitch: a lower male and a higher female voice for every text.
struct TVoiceStyle {
    const char* Variant;
    int Pitch;
    int WordsPerMinute;
    double Level;
};
const TVoiceStyle kStyles[] = {
    {"+m3", 40, 150, -10.0},
    {"+f3", 70, 175, -20.0},
};

std::string ShellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted.push_back(c);
        }
    }
    return quoted + "'";
}

// Active-speech level scaled to `level` dBm0.
void ScaleTo(TSamples& samples, double level) {
    const double gain = std::pow(10.0, (level - PowerDbm0(samples)) / 20.0);
    samples = Scaled(samples, gain);
}

} // namespace

TSamples Speak(const TUtterance& utterance, int sampleRate) {
    char textPath[] = "/tmp/norvel-speech-XXXXXX";
    const int descriptor = mkstemp(textPath);
    if (descriptor < 0) {
        throw std::runtime_error("cannot create the text file for espeak-ng");
    }
    close(descriptor);
    {
        std::ofstream text(textPath);
        text << utterance.Text;
    }
    const std::string command =
        "espeak-ng -v " + ShellQuoted(utterance.Voice) + " -s " +
        std::to_string(utterance.WordsPerMinute) + " -p " + std::to_string(utterance.Pitch) +
        " -f " + ShellQuoted(textPath) + " --stdout | sox -q -t wav - -t raw -e signed-integer" +
        " -b 16 -c 1 -L -r " + std::to_string(sampleRate) + " - 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    TSamples samples;
    if (pipe != nullptr) {
        int16_t block[4096];
        size_t got = 0;
        while ((got = fread(block, sizeof block[0], 4096, pipe)) > 0) {
            samples.insert(samples.end(), block, block + got);
        }
        pclose(pipe);
    }
    std::remove(textPath);
    if (samples.empty()) {
        throw std::runtime_error("espeak-ng or sox gave no speech for voice " + utterance.Voice);
    }
    ScaleTo(samples, utterance.Level);
    return samples;
}

std::vector<TUtterance> TalkOffUtterances() {
    std::vector<TUtterance> utterances;
    for (const TVoiceStyle& style : kStyles) {
        for (const TText& text : kTexts) {
            utterances.push_back({std::string(text.Language) + style.Variant, style.WordsPerMinute,
                                  style.Pitch, style.Level, text.Text});
        }
    }
    return utterances;
}

TSamples TalkOffCorpus(int sampleRate) {
    TSamples corpus;
    for (const TUtterance& utterance : TalkOffUtterances()) {
        Append(corpus, Speak(utterance, sampleRate));
        Append(corpus, Silence(sampleRate, 500));
    }
    return corpus;
}

} // namespace norvel_test
