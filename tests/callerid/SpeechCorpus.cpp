#include "tests/callerid/SpeechCorpus.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
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

// Further languages for the wide corpus only.
const TText kMoreTexts[] = {
    {"nl",
     "Goedemiddag, u spreekt met Pieter van de garage. Uw auto is klaar en u kunt hem "
     "morgen na tien uur ophalen. De rekening komt op driehonderd zevenenveertig euro en "
     "vijftig cent. Heeft u nog vragen, bel dan naar nul twintig, vier vijf zes, achtentachtig "
     "negentien. Tot ziens en nog een fijne dag."},
    {"pt",
     "Bom dia, fala a Beatriz da farmácia. O seu medicamento já chegou e pode levantá-lo a "
     "partir das três da tarde. O preço é de dezassete euros e quarenta cêntimos. Se preferir, "
     "ligue para o número dois um três, quatro cinco seis, sete oito nove. Muito obrigada e "
     "até logo."},
    {"sv", "Hej, det är Lars från bilverkstaden. Vi har bytt bromsarna och bilen står klar på "
           "fredag efter klockan två. Det kostar fyra tusen sexhundra tjugo kronor. Ring gärna "
           "tillbaka på noll åtta, sju tre fyra, femtiosex, nittio om du undrar över något. Tack "
           "och ha en bra dag."},
    {"tr", "Merhaba, ben kargo şirketinden Ayşe. Paketiniz yarın sabah dokuz ile on iki arasında "
           "teslim edilecek. Evde olmayacaksanız lütfen beni sıfır beş yüz otuz iki, dört yüz "
           "altmış yedi, yirmi sekiz, on dokuz numaralı telefondan arayın. Teşekkür ederim, iyi "
           "günler."},
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

void ScaleToPeak(TSamples& samples, double peakDbfs) {
    int peak = 1;
    for (const int16_t s : samples) {
        peak = std::max(peak, std::abs(int{s}));
    }
    samples = Scaled(samples, 32767.0 * std::pow(10.0, peakDbfs / 20.0) / peak);
}

// 64-bit FNV-1a: names a cached utterance after everything that makes it.
uint64_t Fingerprint(const std::string& text) {
    uint64_t hash = 1469598103934665603ull;
    for (const char c : text) {
        hash = (hash ^ static_cast<uint8_t>(c)) * 1099511628211ull;
    }
    return hash;
}

#if defined(NORVEL_SPEECH_CACHE)
std::filesystem::path CachePath(const std::string& key) {
    char name[40];
    std::snprintf(name, sizeof name, "%016llx.raw",
                  static_cast<unsigned long long>(Fingerprint(key)));
    return std::filesystem::path(NORVEL_SPEECH_CACHE) / name;
}

bool ReadCached(const std::string& key, TSamples& samples) {
    std::ifstream in(CachePath(key), std::ios::binary);
    if (!in) {
        return false;
    }
    in.seekg(0, std::ios::end);
    const std::streamoff bytes = in.tellg();
    if (bytes <= 0 || bytes % 2 != 0) {
        return false;
    }
    samples.resize(static_cast<size_t>(bytes / 2));
    in.seekg(0);
    in.read(reinterpret_cast<char*>(samples.data()), bytes);
    return static_cast<bool>(in);
}

// Through a file of this process's own, renamed into place: parallel runs never see half a file.
void WriteCached(const std::string& key, const TSamples& samples) {
    const std::filesystem::path path = CachePath(key);
    std::error_code error;
    std::filesystem::create_directories(path.parent_path(), error);
    const std::filesystem::path partial = path.string() + "." + std::to_string(getpid()) + ".part";
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(samples.data()),
                  static_cast<std::streamsize>(samples.size() * 2));
        if (!out) {
            out.close();
            std::filesystem::remove(partial, error);
            return;
        }
    }
    std::filesystem::rename(partial, path, error);
    if (error) {
        std::filesystem::remove(partial, error);
    }
}
#endif

} // namespace

TSamples Speak(const TUtterance& utterance, int sampleRate) {
    const std::string effects = utterance.TelephoneBand ? " sinc 300-3400" : "";
    const std::string synthesis = "espeak-ng -v " + ShellQuoted(utterance.Voice) + " -s " +
                                  std::to_string(utterance.WordsPerMinute) + " -p " +
                                  std::to_string(utterance.Pitch);
    const std::string conversion = "sox -q -t wav - -t raw -e signed-integer -b 16 -c 1 -L -r " +
                                   std::to_string(sampleRate) + " -" + effects;
    char scale[48];
    std::snprintf(scale, sizeof scale, "%s %.2f", utterance.TelephoneBand ? "peak" : "level",
                  utterance.TelephoneBand ? utterance.PeakDbfs : utterance.Level);
    TSamples samples;
#if defined(NORVEL_SPEECH_CACHE)
    const std::string key = synthesis + "|" + conversion + "|" + scale + "|" + utterance.Text;
    if (ReadCached(key, samples)) {
        return samples;
    }
#endif
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
        synthesis + " -f " + ShellQuoted(textPath) + " --stdout | " + conversion + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
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
    if (utterance.TelephoneBand) {
        ScaleToPeak(samples, utterance.PeakDbfs);
    } else {
        ScaleTo(samples, utterance.Level);
    }
#if defined(NORVEL_SPEECH_CACHE)
    WriteCached(key, samples);
#endif
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

std::vector<TUtterance> WideSpeechUtterances(int half) {
    std::vector<const TText*> texts;
    for (const TText& text : kTexts) {
        texts.push_back(&text);
    }
    for (const TText& text : kMoreTexts) {
        texts.push_back(&text);
    }
    const char* const variants[] = {"+m1", "+m2", "+m3", "+m4", "+m5", "+m6",
                                    "+m7", "+f1", "+f2", "+f3", "+f4", "+f5"};
    // Four rounds over the texts, drawn once from a fixed seed; rounds 0 and 2 make half 0,
    // rounds 1 and 3 half 1. Pitch and speed are drawn from strata, so that each round spans
    // the whole range.
    constexpr int kRounds = 4;
    std::mt19937 random(1789);
    std::vector<TUtterance> utterances;
    const int count = static_cast<int>(texts.size());
    for (int round = 0; round < kRounds; ++round) {
        for (int t = 0; t < count; ++t) {
            const int stratum = (t * 5 + round * 7) % count;
            const int pitch = (100 * stratum + static_cast<int>(random() % 100)) / count;
            const int speed =
                80 +
                (180 * ((t * 7 + round * 3) % count) + static_cast<int>(random() % 180)) / count;
            const char* variant = variants[(t + round * 5 + random() % 2) % std::size(variants)];
            const double peak = (t + round / 2) % 2 == 0 ? -1.0 : -3.0;
            if (round % 2 != half) {
                continue;
            }
            TUtterance utterance;
            utterance.Voice = std::string(texts[static_cast<size_t>(t)]->Language) + variant;
            utterance.WordsPerMinute = speed;
            utterance.Pitch = std::min(pitch, 99);
            utterance.Text = texts[static_cast<size_t>(t)]->Text;
            utterance.TelephoneBand = true;
            utterance.PeakDbfs = peak;
            utterances.push_back(utterance);
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
