#include "generators/KSWordList.h"

#include <algorithm>

namespace {

constexpr std::string_view kWords[] = {
    "abdicated ", "abolish ", "abolishing ", "absolute ", "absolved ", "abuses ", "accommodation ",
    "accordingly ", "accustomed ", "acquiesce ", "act ", "acts ", "administration ", "affected ", "after ",
    "against ", "ages ", "all ", "allegiance ", "alliances ", "alone ", "already ", "alter ", "altering ",
    "america ", "among ", "amongst ", "amount ", "an ", "and ", "annihilation ", "another ", "answered ",
    "any ", "appealed ", "appealing ", "appropriations ", "arbitrary ", "are ", "armed ", "armies ",
    "arms ", "as ", "assembled ", "assent ", "assume ", "at ", "attempts ", "attend ", "attentions ",
    "authority ", "away ", "bands ", "barbarous ", "be ", "bear ", "become ", "becomes ", "been ",
    "begun ", "benefits ", "between ", "beyond ", "bodies ", "boundaries ", "brethren ", "bring ",
    "britain ", "british ", "brittish ", "burnt ", "but ", "by ", "called ", "candid ", "captive ",
    "cases ", "cause ", "causes ", "certain ", "changed ", "character ", "charters ", "circumstances ",
    "citizens ", "civil ", "civilized ", "coasts ", "colonies ", "combined ", "commerce ", "commit ",
    "common ", "compleat ", "compliance ", "conclude ", "conditions ", "congress ", "conjured ",
    "connected ", "connection ", "connections ", "consanguinity ", "consent ", "constitution ",
    "constrained ", "constrains ", "contract ", "convulsions ", "correspondence ", "country ", "course ",
    "created ", "creator ", "crown ", "cruelty ", "cutting ", "dangers ", "deaf ", "death ", "decent ",
    "declaration ", "declare ", "declaring ", "define ", "denounces ", "dependent ", "depository ",
    "depriving ", "deriving ", "design ", "desolation ", "despotism ", "destroyed ", "destruction ",
    "destructive ", "dictate ", "direct ", "disavow ", "disposed ", "dissolutions ", "dissolve ",
    "dissolved ", "distant ", "districts ", "divine ", "do ", "domestic ", "duty ", "each ", "earth ",
    "eat ", "effect ", "elected ", "emigration ", "encourage ", "endeavoured ", "endowed ", "ends ",
    "enemies ", "english ", "enlarging ", "entitle ", "equal ", "erected ", "establish ", "established ",
    "establishing ", "establishment ", "events ", "every ", "evident ", "evils ", "evinces ", "example ",
    "excited ", "executioners ", "exercise ", "experience ", "exposed ", "extend ", "facts ", "fall ",
    "fatiguing ", "fellow ", "firm ", "firmness ", "fit ", "forbidden ", "foreign ", "foreigners ",
    "form ", "former ", "formidable ", "forms ", "fortunes ", "foundation ", "free ", "friends ", "from ",
    "frontiers ", "full ", "fundamentally ", "future ", "general ", "giving ", "god ", "good ",
    "governed ", "government ", "governments ", "governors ", "great ", "guards ", "hands ", "happiness ",
    "harrass ", "hath ", "have ", "having ", "head ", "here ", "high ", "his ", "history ", "hither ",
    "hold ", "honor ", "houses ", "human ", "humble ", "immediate ", "impel ", "importance ", "imposing ",
    "incapable ", "indeed ", "independent ", "indian ", "inestimable ", "inevitably ", "inhabitants ",
    "injuries ", "injury ", "institute ", "instituted ", "instrument ", "insurrections ", "intentions ",
    "interrupt ", "into ", "introducing ", "invariably ", "invasion ", "invasions ", "invested ", "is ",
    "it ", "its ", "judge ", "judges ", "judiciary ", "jurisdiction ", "jury ", "just ", "justice ",
    "kept ", "kindred ", "king ", "known ", "lands ", "large ", "laws ", "laying ", "legislate ",
    "legislation ", "legislative ", "legislature ", "legislatures ", "let ", "levy ", "liberty ", "life ",
    "light ", "likely ", "lives ", "long ", "made ", "magnanimity ", "mankind ", "manly ", "many ",
    "marked ", "may ", "mean ", "measures ", "men ", "mercenaries ", "merciless ", "migrations ",
    "military ", "mock ", "more ", "most ", "multitude ", "murders ", "must ", "mutually ", "name ",
    "nation ", "native ", "naturalization ", "nature ", "necessary ", "necessity ", "neglected ",
    "neighbouring ", "new ", "nor ", "not ", "now ", "object ", "obstructed ", "obstructing ", "obtained ",
    "off ", "offences ", "officers ", "offices ", "on ", "once ", "one ", "only ", "operation ",
    "opinions ", "opposing ", "oppressions ", "or ", "organizing ", "other ", "others ", "ought ", "our ",
    "out ", "over ", "own ", "paralleled ", "parts ", "pass ", "patient ", "payment ", "peace ", "people ",
    "perfidy ", "petitioned ", "petitions ", "places ", "pledge ", "plundered ", "political ",
    "population ", "power ", "powers ", "present ", "pressing ", "pretended ", "prevent ", "prince ",
    "principles ", "protecting ", "protection ", "prove ", "provide ", "providence ", "province ",
    "prudence ", "public ", "publish ", "punishment ", "purpose ", "pursuing ", "pursuit ", "quartering ",
    "raising ", "ravaged ", "records ", "rectitude ", "redress ", "reduce ", "refused ", "refusing ",
    "reliance ", "relinquish ", "remaining ", "reminded ", "render ", "repeated ", "repeatedly ",
    "representation ", "representative ", "representatives ", "requires ", "respect ", "rest ",
    "returned ", "right ", "rights ", "rule ", "ruler ", "sacred ", "safety ", "salaries ", "same ",
    "savages ", "scarcely ", "seas ", "secure ", "security ", "seem ", "self ", "sent ", "separate ",
    "separation ", "settlement ", "sexes ", "shall ", "shewn ", "should ", "so ", "sole ", "solemnly ",
    "stage ", "standing ", "state ", "states ", "station ", "subject ", "submitted ", "substance ",
    "such ", "suffer ", "sufferable ", "sufferance ", "superior ", "support ", "supreme ", "suspended ",
    "suspending ", "swarms ", "system ", "systems ", "taken ", "taking ", "taxes ", "tenure ", "terms ",
    "than ", "that ", "their ", "them ", "themselves ", "therefore ", "therein ", "these ", "they ",
    "things ", "this ", "those ", "throw ", "thus ", "ties ", "till ", "time ", "times ", "together ",
    "too ", "totally ", "towns ", "trade ", "train ", "transient ", "transporting ", "trial ", "tried ",
    "troops ", "truths ", "tyranny ", "tyrant ", "tyrants ", "unacknowledged ", "unalienable ",
    "uncomfortable ", "under ", "undistinguished ", "unfit ", "united ", "unless ", "unusual ",
    "unwarrantable ", "unworthy ", "us ", "usurpations ", "utterly ", "valuable ", "voice ", "waging ",
    "wanting ", "war ", "warfare ", "warned ", "we ", "whatsoever ", "whenever ", "whereby ", "which ",
    "while ", "wholesome ", "whose ", "will ", "with ", "within ", "without ", "works ", "world ",
    "would "};

} // namespace

void CKSWordList::Build() { m_entries.insert(m_entries.end(), std::begin(kWords), std::end(kWords)); }

CTextGenerator& CTextGenerator::Instance() {
    static CTextGenerator holder;
    return holder;
}

CPickableWords::CPickableWords(const std::vector<std::string_view>& entries)
    : m_count(static_cast<std::uint32_t>(entries.size())) {
    for (std::string_view entry : entries) {
        m_longest = std::max(m_longest, entry.size());
    }
    m_slotBytes = std::max<std::size_t>(16, (m_longest + 15) / 16 * 16);
    m_bytes.assign(entries.size() * m_slotBytes, '\0');
    for (std::size_t i = 0; i < entries.size(); ++i) {
        entries[i].copy(m_bytes.data() + i * m_slotBytes, entries[i].size());
        m_sizes.push_back(entries[i].size());
    }
    if (m_count != 0) {
        m_inverse = static_cast<std::uint32_t>(0xFFFFFFFFu / m_count + 1);
    }
}

const CPickableWords& CTextGenerator::Build() {
    // Double-checked: picks after the first take no lock; the list never changes once built.
    if (const CPickableWords* ready = m_ready.load(std::memory_order_acquire)) {
        return *ready;
    }
    CAutoLock lock(m_lock);
    if (!m_words) {
        CKSWordList list;
        list.Build();
        m_words = std::make_unique<const CPickableWords>(list.Entries());
        m_ready.store(m_words.get(), std::memory_order_release);
    }
    return *m_words;
}
