#include "word/VeltraneWord7Dialects.h"

#include "platform/host/SysUtils.h"

namespace veltrane {

namespace {

// One row per command or argument, with the names in the column order English, German,
// Finnish, Swedish, Dutch, Italian, French, Portuguese, Spanish. The column of a dialect is its
// ordinal, except that English and German trade places.
using TNames = std::array<const char*, WordbasicNamedDialects>;

int Column(TVeltraneWordbasicDialect ADialect) {
  if (ADialect == wbdEnglish) return 0;
  if (ADialect == wbdGerman) return 1;
  return ADialect < WordbasicNamedDialects ? static_cast<int>(ADialect) : -1;
}

// Every cell holds a name: a command without one would be skipped, and the operation would
// report success having done nothing. The Swedish save-as command and the Swedish and Portuguese
// edit-options command, with their arguments, are the names of those word processors.
constexpr std::array<TNames, WordbasicCommandCount> CommandNames = {{
    {{"Activate", "Aktivieren", "Aktivoi", "Aktivera", "Activeren", "Attiva", "Activer", "Ativar",
      "Activar"}},
    {{"AppHide", "AnwVerbergen", "AppHide", "AppHide", "AppHide", "AppHide", "FenAppMasquer",
      "AplOcultar", "ApOcultar"}},
    {{"AppShow", "AnwAnzeigen", "AppShow", "AppShow", "AppShow", "AppShow", "FenAppAfficher",
      "AplExibir", "ApMostrar"}},
    {{"BookmarkName", "TextmarkeName", "KirjanmerkinNimi", "Bokmärkesnamn", "BladwNaam",
      "NomeSegnalibro", "NomSignet", "NomeIndicador", "NombreMarcador"}},
    {{"CountBookmarks", "ZählenTextmarken", "LaskeKirjanmerkit", "RäknaBokmärken", "BladwTellen",
      "ContaSegnalibro", "CompteSignets", "ContarIndicadores", "ContarMarcador"}},
    {{"EditBookmark", "BearbeitenTextmarke", "MuokkaaKirjanmerkki", "RedigeraBokmärke",
      "BladwBewerken", "ModificaSegnalibro", "EditionSignet", "Editarindicador",
      "EdiciónMarcador"}},
    {{"EditClear", "BearbeitenLöschen", "MuokkaaPoista", "RedigeraRadera", "BewerkenWissen",
      "ModificaCancella", "EditionEffacer", "EditarLimpar", "EdiciónDespejar"}},
    {{"EditCopy", "BearbeitenKopieren", "MuokkaaKopioi", "RedigeraKopiera", "BewerkenKopiëren",
      "ModificaCopia", "EditionCopier", "CopiarTexto", "CopiarTexto"}},
    {{"EditGoto", "BearbeitenGehezu", "MuokkaaSiirry", "RedigeraGåTill", "BewerkenGaNaar",
      "ModificaVaiA", "EditionAtteindre", "EditarIrPara", "EdiciónIrA"}},
    {{"EditPaste", "BearbeitenEinfügen", "MuokkaaLiitä", "RedigeraKlistrain", "BewerkenPlakken",
      "ModificaIncolla", "EditionColler", "EditarColar", "EdiciónPegar"}},
    {{"EndOfDocument", "EndeDokument", "AsiakirjanLoppuun", "DokumentSlut", "EindeVanDocument",
      "FineDocumento", "FinDocument", "FimDocumento", "FinDeDocumento"}},
    {{"ExistingBookmark", "TextmarkeVorhanden", "NykyinenKirjanmerkki", "FinnsBokmärke",
      "BestaandeBladw", "SegnalibroEsistente", "SignetExistant", "IndicadorExistente",
      "MarcadorExistente"}},
    {{"FileClose", "DateiSchließen", "TiedostoSulje", "ArkivStängAlla", "BestandSluiten",
      "FileChiudi", "FichierFermer", "ArquivoFechar", "ArchivoCerrar"}},
    {{"FileNew", "DateiNeu", "TiedostoUusi", "ArkivNytt", "BestandNieuw", "FileNuovo",
      "FichierNouveau", "ArquivoNovo", "ArchivoNuevo"}},
    {{"FileOpen", "DateiÖffnen", "TiedostoAvaa", "Arkivöppna", "BestandOpenen", "FIleApri",
      "FichierOuvrir", "ArquivoAbrir", "ArchivoAbrir"}},
    {{"FilePrint", "DateiDrucken", "TiedostoTulosta", "ArkivSkrivut", "BestandAfdrukken",
      "FileStampa", "FichierImprimer", "ArquivoImprimir", "ArchivoImprimir"}},
    {{"FilePrintSetup", "DateiDruckereinrichtung", "TiedostoKirjoittimenAsetukset",
      "ArkivSkrivarinst", "BestandPrinterinst", "FileImpostaStampante", "FichierConfigImpression",
      "ArquivoImprimirConfigurar", "ArchivoEspecificarImpresora"}},
    {{"FileSaveAs", "DateiSpeichernUnter", "TiedostoTallennaNimellä", "ArkivSparaSom",
      "BestandOpslaanAls", "FileSalvaConNome", "FichierEnregistrerSous", "ArquivoSalvarComo",
      "ArchivoGuardarComo"}},  // Swedish supplied
    {{"GetSelEndPos", "AbrufenMarkierungEndeposition", "GetSelEndPos", "GetSelEndPos",
      "GetSelEndPos", "GetSelEndPos", "LitPosFinSél", "DefinirFimIndicador", "ObtenerPosFinalSel"}},
    {{"GetSelStartPos", "AbrufenMarkierungAnfangposition", "GetSelStartPos", "GetSelStartPos",
      "GetSelStartPos", "GetSelStartPos", "LitPosDébSél", "DefinirInícioIndicador",
      "ObtenerPosIniSel"}},
    {{"Insert", "Einfügen", "Lisää", "Infoga", "Invoegen", "Inserisci", "Insertion", "Inserir",
      "Insertar"}},
    {{"SelInfo", "AuswInfo", "ValintaTiedot", "MarkeringInformation", "SelectieInfo", "InfoSel",
      "SélInfo", "SelInfo", "InfoSelecc"}},
    {{"Selection", "Markierung", "Valinta", "Markering", "Selection", "Selezione", "Sélection",
      "Seleção", "Selección"}},
    {{"StartOfDocument", "BeginnDokument", "AsiakirjanAlkuun", "DokumentStart", "BeginVanDocument",
      "InizioDocumento", "DébutDocument", "InicioDocumento", "PrincipioDeDocumento"}},
    {{"TableDeleteRow", "TabelleZeileLöschen", "TaulukkoPoistaRivi", "TabellTaBortRader",
      "TabelRijVerwijderen", "TabellaEliminaRiga", "TableauSupprimerLigne", "TabelaExcluirLinha",
      "TablaEliminarFila"}},
    {{"ToolsOptionsEdit", "ExtrasOptionenBearbeiten", "TyökalutAsetuksetMuokkaus",
      "VerktygAltRedigera", "ExtraOptiesBewerken", "StrumOpzioniModifica", "OutilsOptionsEdition",
      "FerramOpçõesEditar", "HerramOpcionesEdición"}},  // Swedish, Portuguese supplied
    {{"ToolsOptionsSpelling", "ExtrasOptionenRechtschreibung", "TyökalutAsetuksetOikoluku",
      "VerktygAltStavning", "ExtraOptiesSpelling", "StrumOpzioniOrtografia",
      "OutilsOptionsOrthographe", "FerramOpçõesOrtografia", "HerramOpcionesOrtografía"}},
    {{"ViewDraft", "AnsichtKonzept", "NäytäLuonnos", "VisaUtkast", "BeeldConcept",
      "VisualizzaBozza", "FichierAperçu", "ArquivoVisualizar", "VerBorrador"}},
    {{"ViewPage", "AnsichtLayout", "NäytäSivu", "VisaNormal", "BeeldPagina", "VisualizzaPagina",
      "AffichagePage", "ArquivoVisualizar", "VerPágina"}},
    {{"Windowname", "Fenstername", "IkkunanNimi", "Fönsternamn", "Vensternaam", "NomeFinestra",
      "NomFenêtre", "NomeJanela", "NombreVentana"}},
}};

constexpr std::array<TNames, WordbasicArgumentCount> ArgumentNames = {{
    {{"Name", "Name", "Nimi", "Namn", "Naam", "Nome", "Nom", "Nome", "Nombre"}},  // EditBookmark
    {{"Delete", "Löschen", "Poista", "Tabort", "Verwijderen", "Elimina", "Supprimer", "Excluir",
      "Eliminar"}},                                                               // EditBookmark
    {{"Name", "Name", "Nimi", "Namn", "Naam", "Nome", "Nom", "Nome", "Nombre"}},  // FileOpen
    {{"ReadOnly", "Schreibgeschützt", "VainLuku", "Skrivskydd", "AlleenLezen", "SolaLettura",
      "LectureSeule", "SomenteLeitura", "SóloLectura"}},  // FileOpen
    {{"Background", "Hintergrund", "Tausta", "Bakgrund", "Achtergrond", "SecondoPiano",
      "ArrièrePlan", "SegundoPlano", "Fondo"}},  // FilePrint
    {{"Printer", "Drucker", "Printer", "Skrivare", "Printer", "Stampante", "Imprimante",
      "Impressora", "Impresora"}},  // FilePrintSetup
    {{"DoNotSetAsSysDefault", "NichtAlsSystemStandardBestimmen", "ÄläAsetaJärjOletusarvoksi",
      "SättEjSysSomStandard", "NietInstellenAlsSysStandaard", "NonImpostareComeSisDefinito",
      "PasCommeConfigParDéfSystème", "DoNotSetAsSysDefault",
      "NoConfigurarComoPredetSistema"}},  // FilePrintSetup
    {{"Name", "Name", "Nimi", "Namn", "Name", "Name", "Nom", "Nome",
      "Nombre"}},  // FileSaveAs; Swedish supplied
    {{"ReplaceSelection", "MarkierungErsetzen", "KorvaaValinta", "ErsättMarkering", "Overschrijven",
      "SostituisciSelezione", "RemplacerSélection", "SubstituirSeleção",
      "ReemplazarSelección"}},  // ToolsOptionsEdit; Swedish, Portuguese supplied
    {{"AutomaticSpellChecking", "AutomatischeRechtschreibprüfung", "AutomOikoluku",
      "AutomatiskStavningskontroll", "AutomatischeSpellingcontrole",
      "ControlloOrtograficoDocumento", "CorrectionAutomatique",
      "VerificarOrtografiaAutomaticamente",
      "RevisiónAutomáticaOrtografía"}},  // ToolsOptionsSpelling
}};

constexpr std::array<TVeltraneWordbasicCommand, WordbasicArgumentCount> ArgumentCommands = {
    wbcEditBookmark,     wbcEditBookmark,         wbcFileOpen,       wbcFileOpen,
    wbcFilePrint,        wbcFilePrintSetup,       wbcFilePrintSetup, wbcFileSaveAs,
    wbcToolsOptionsEdit, wbcToolsOptionsSpelling,
};

// The Portuguese connector ends with two blanks; the Swedish one is a placeholder word.
constexpr TNames Connectors = {" on ", " an ",  " portissa ", " ??? ", " op ",
                               " su ", " sur ", " em  ",      " en "};

constexpr std::array<const char*, WordbasicDialectCount> DialectNames = {
    "german", "english",    "finnish", "swedish",   "dutch",  "italian",
    "french", "portuguese", "spanish", "norwegian", "russian"};

}  // namespace

const char* WordbasicCommandName(TVeltraneWordbasicDialect ADialect,
                                 TVeltraneWordbasicCommand ACommand) {
  const int column = Column(ADialect);
  if (column < 0 || ACommand >= WordbasicCommandCount) return nullptr;
  return CommandNames[ACommand][static_cast<std::size_t>(column)];
}

const char* WordbasicArgumentName(TVeltraneWordbasicDialect ADialect,
                                  TVeltraneWordbasicArgument AArgument) {
  const int column = Column(ADialect);
  if (column < 0 || AArgument >= WordbasicArgumentCount) return nullptr;
  return ArgumentNames[AArgument][static_cast<std::size_t>(column)];
}

TVeltraneWordbasicCommand WordbasicArgumentCommand(TVeltraneWordbasicArgument AArgument) {
  return ArgumentCommands[AArgument];
}

const char* WordbasicConnector(TVeltraneWordbasicDialect ADialect) {
  const int column = Column(ADialect);
  return column < 0 ? nullptr : Connectors[static_cast<std::size_t>(column)];
}

std::string WordbasicDialectName(TVeltraneWordbasicDialect ADialect) {
  return ADialect < WordbasicDialectCount ? DialectNames[ADialect] : "";
}

bool WordbasicDialectFromName(const std::string& AName, TVeltraneWordbasicDialect& ADialect) {
  for (int i = 0; i < WordbasicDialectCount; ++i) {
    const std::string name = DialectNames[static_cast<std::size_t>(i)];
    std::string enumerator = "wbd" + name;
    enumerator[3] = static_cast<char>(enumerator[3] - 'a' + 'A');
    if (host::SameText(AName, name) || host::SameText(AName, enumerator)) {
      ADialect = static_cast<TVeltraneWordbasicDialect>(i);
      return true;
    }
  }
  return false;
}

TWordbasicVocabulary WordbasicVocabulary(TVeltraneWordbasicDialect ADialect) {
  TWordbasicVocabulary result;
  const int column = Column(ADialect);
  if (column < 0) return result;
  for (int c = 0; c < WordbasicCommandCount; ++c) {
    result.Commands.emplace_back(
        CommandNames[static_cast<std::size_t>(c)][0],
        CommandNames[static_cast<std::size_t>(c)][static_cast<std::size_t>(column)]);
  }
  for (int a = 0; a < WordbasicArgumentCount; ++a) {
    const auto argument = static_cast<TVeltraneWordbasicArgument>(a);
    result.Arguments.emplace_back(
        std::string(CommandNames[ArgumentCommands[argument]][0]) + "." +
            ArgumentNames[static_cast<std::size_t>(a)][0],
        ArgumentNames[static_cast<std::size_t>(a)][static_cast<std::size_t>(column)]);
  }
  result.Connector = Connectors[static_cast<std::size_t>(column)];
  return result;
}

std::vector<std::string> WordbasicConnectors() {
  return std::vector<std::string>(Connectors.begin(), Connectors.end());
}

}  // namespace veltrane
