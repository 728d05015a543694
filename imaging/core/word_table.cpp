#include "imaging/core/word_table.h"

#include <array>

#include "platform/forms.h"
#include "platform/sysutils.h"

namespace zv {

namespace {

std::array<std::string, WordTableLanguages * WordTableIds>& Table() {
  static std::array<std::string, WordTableLanguages * WordTableIds> Words;
  return Words;
}

// A word of a row that has only some of its words.
struct TWordAt {
  int32_t Id;
  const char* Word;
};

// The rows, each in its language's code page. The application's own languages (English, Italian,
// German, Spanish, French, Japanese, Chinese) have every word; the other rows hold the words of the
// dialogs' main buttons and show English for the rest.
const char* const kEnglish[WordTableIds] = {
    "Preview",
    "Original",
    "Result",
    "OK",
    "Cancel",
    "Lock preview",
    "Copy Result to Original",
    "Contrast",
    "Brightness",
    "Hue",
    "Saturation",
    "Value",
    "Base color",
    "New color",
    "Luminosity",
    "Red",
    "Green",
    "Blue",
    "Filter values",
    "Presets",
    "Divisor",
    "Load",
    "Save",
    "Equalization",
    "Threshold",
    "Equalize",
    "Histogram",
    "Gray",
    "Light",
    "Left",
    "Top",
    "Width",
    "Height",
    "Color",
    "Original image quantity",
    "Lens",
    "Refraction",
    "Parameters Preview",
    "Quality",
    "DCT method",
    "Smoothing factor",
    "Gray scale",
    "Optimal Huffman",
    "Original size",
    "Compressed size",
    "Advanced",
    "Progressive",
    "Compression",
    "Image index",
    "Photometric",
    "Scanned document info",
    "Name",
    "Description",
    "Page name",
    "Page number",
    "of",
    "Horiz. Position (inch)",
    "Vert. Position (inch)",
    "Colors",
    "Transparent",
    "Transparent color",
    "Interlaced",
    "Background",
    "Horiz. Position",
    "Vert. Position",
    "Delay time",
    "Filter",
    "Wave",
    "Amplitude",
    "Wave length",
    "Phase",
    "Reflective",
    "User filter",
    "Morphing filters",
    "Window size",
    "Maximum",
    "Minimum",
    "Opening",
    "Closing",
    "Rotate",
    "Flip",
    "Horizontal",
    "Vertical",
    "Frequency domain image",
    "Select the region to clean",
    "Clear",
    "Reset",
    "Animate",
    "Load filter",
    "Save filter",
    "Bump map",
    "Print",
    "Margins",
    "inches",
    "Right",
    "Bottom",
    "Position",
    "Size",
    "Normal",
    "Fit to page",
    "Stretch to page",
    "Specified size",
    "Gamma correction",
    "Value",
    "Print Setup",
    "Left Margin",
    "Top Margin",
    "Right Margin",
    "Bottom Margin",
    "Location/size",
    "Top Left",
    "Top Center",
    "Top Right",
    "Center Left",
    "Center",
    "Center Right",
    "Bottom Left",
    "Bottom Center",
    "Bottom Right",
    "Close",
    "Apply",
    "Measure Units",
    "Units",
    "Rate",
    "All graphics",
    "Video for Windows",
    "File",
    "Mem",
    "Automatically updates your preview with the changes you have selected",
    "Print All",
    "Print Selected",
    "Common Graphic Files",
    "All Files",
    "HSV",
    "HSL",
    "RGB",
    "FFT",
    "Sharpen",
    "Channels",
    "pixel",
    "frames",
    "bit",
    "byte",
    "dpi",
    "KB",
    "Fit",
};

const char* const kItalian[WordTableIds] = {
    "Anteprima",
    "Originale",
    "Risultato",
    "OK",
    "Annulla",
    "Blocca anteprima",
    "Copia risultato nell'originale",
    "Contrasto",
    "Luminosit\340",  // 8: Luminosità
    "Tonalit\340",  // 9: Tonalità
    "Saturazione",
    "Valore",
    "Colore base",
    "Nuovo colore",
    "Luminanza",
    "Rosso",
    "Verde",
    "Blu",
    "Valori del filtro",
    "Predefiniti",
    "Divisore",
    "Carica",
    "Salva",
    "Equalizzazione",
    "Soglia",
    "Equalizza",
    "Istogramma",
    "Grigio",
    "Luce",
    "Sinistra",
    "Alto",
    "Larghezza",
    "Altezza",
    "Colore",
    "Quantit\340 immagine originale",  // 34: Quantità immagine originale
    "Lente",
    "Rifrazione",
    "Anteprima parametri",
    "Qualit\340",  // 38: Qualità
    "Metodo DCT",
    "Fattore di smussatura",
    "Scala di grigi",
    "Huffman ottimale",
    "Dimensione originale",
    "Dimensione compressa",
    "Avanzate",
    "Progressivo",
    "Compressione",
    "Indice immagine",
    "Fotometrico",
    "Informazioni documento acquisito",
    "Nome",
    "Descrizione",
    "Nome pagina",
    "Numero pagina",
    "di",
    "Posizione oriz. (pollici)",
    "Posizione vert. (pollici)",
    "Colori",
    "Trasparente",
    "Colore trasparente",
    "Interlacciato",
    "Sfondo",
    "Posizione oriz.",
    "Posizione vert.",
    "Tempo di ritardo",
    "Filtro",
    "Onda",
    "Ampiezza",
    "Lunghezza d'onda",
    "Fase",
    "Riflessione",
    "Filtro utente",
    "Filtri morfologici",
    "Dimensione finestra",
    "Massimo",
    "Minimo",
    "Apertura",
    "Chiusura",
    "Ruota",
    "Capovolgi",
    "Orizzontale",
    "Verticale",
    "Immagine nel dominio della frequenza",
    "Seleziona la regione da pulire",
    "Cancella",
    "Ripristina",
    "Anima",
    "Carica filtro",
    "Salva filtro",
    "Mappa di rilievo",
    "Stampa",
    "Margini",
    "pollici",
    "Destra",
    "Basso",
    "Posizione",
    "Dimensione",
    "Normale",
    "Adatta alla pagina",
    "Estendi alla pagina",
    "Dimensione specificata",
    "Correzione gamma",
    "Valore",
    "Imposta stampa",
    "Margine sinistro",
    "Margine superiore",
    "Margine destro",
    "Margine inferiore",
    "Posizione/dimensione",
    "In alto a sinistra",
    "In alto al centro",
    "In alto a destra",
    "Al centro a sinistra",
    "Centro",
    "Al centro a destra",
    "In basso a sinistra",
    "In basso al centro",
    "In basso a destra",
    "Chiudi",
    "Applica",
    "Unit\340 di misura",  // 121: Unità di misura
    "Unit\340",  // 122: Unità
    "Frequenza",
    "Tutti i grafici",
    "Video per Windows",
    "File",
    "Memoria",
    "Aggiorna automaticamente l'anteprima con le modifiche selezionate",
    "Stampa tutto",
    "Stampa selezione",
    "File grafici comuni",
    "Tutti i file",
    "HSV",
    "HSL",
    "RGB",
    "FFT",
    "Nitidezza",
    "Canali",
    "pixel",
    "fotogrammi",
    "bit",
    "byte",
    "dpi",
    "KB",
    "Adatta",
};

const char* const kGerman[WordTableIds] = {
    "Vorschau",
    "Original",
    "Ergebnis",
    "OK",
    "Abbrechen",
    "Vorschau sperren",
    "Ergebnis ins Original kopieren",
    "Kontrast",
    "Helligkeit",
    "Farbton",
    "S\344ttigung",  // 10: Sättigung
    "Wert",
    "Grundfarbe",
    "Neue Farbe",
    "Leuchtkraft",
    "Rot",
    "Gr\374n",  // 16: Grün
    "Blau",
    "Filterwerte",
    "Vorgaben",
    "Divisor",
    "Laden",
    "Speichern",
    "Ausgleich",
    "Schwellwert",
    "Ausgleichen",
    "Histogramm",
    "Grau",
    "Licht",
    "Links",
    "Oben",
    "Breite",
    "H\366he",  // 32: Höhe
    "Farbe",
    "Anteil des Originalbildes",
    "Linse",
    "Brechung",
    "Parametervorschau",
    "Qualit\344t",  // 38: Qualität
    "DCT-Methode",
    "Gl\344ttungsfaktor",  // 40: Glättungsfaktor
    "Graustufen",
    "Optimaler Huffman",
    "Originalgr\366\337e",  // 43: Originalgröße
    "Komprimierte Gr\366\337e",  // 44: Komprimierte Größe
    "Erweitert",
    "Progressiv",
    "Komprimierung",
    "Bildindex",
    "Photometrisch",
    "Angaben zum gescannten Dokument",
    "Name",
    "Beschreibung",
    "Seitenname",
    "Seitennummer",
    "von",
    "Horiz. Position (Zoll)",
    "Vert. Position (Zoll)",
    "Farben",
    "Transparent",
    "Transparente Farbe",
    "Interlaced",
    "Hintergrund",
    "Horiz. Position",
    "Vert. Position",
    "Verz\366gerung",  // 65: Verzögerung
    "Filter",
    "Welle",
    "Amplitude",
    "Wellenl\344nge",  // 69: Wellenlänge
    "Phase",
    "Spiegelnd",
    "Benutzerfilter",
    "Morphologische Filter",
    "Fenstergr\366\337e",  // 74: Fenstergröße
    "Maximum",
    "Minimum",
    "\326ffnen",  // 77: Öffnen
    "Schlie\337en",  // 78: Schließen
    "Drehen",
    "Spiegeln",
    "Horizontal",
    "Vertikal",
    "Bild im Frequenzbereich",
    "Zu bereinigenden Bereich w\344hlen",  // 84: Zu bereinigenden Bereich wählen
    "L\366schen",  // 85: Löschen
    "Zur\374cksetzen",  // 86: Zurücksetzen
    "Animieren",
    "Filter laden",
    "Filter speichern",
    "Bump-Map",
    "Drucken",
    "R\344nder",  // 92: Ränder
    "Zoll",
    "Rechts",
    "Unten",
    "Position",
    "Gr\366\337e",  // 97: Größe
    "Normal",
    "An Seite anpassen",
    "Auf Seite strecken",
    "Angegebene Gr\366\337e",  // 101: Angegebene Größe
    "Gammakorrektur",
    "Wert",
    "Druckeinrichtung",
    "Linker Rand",
    "Oberer Rand",
    "Rechter Rand",
    "Unterer Rand",
    "Position/Gr\366\337e",  // 109: Position/Größe
    "Oben links",
    "Oben Mitte",
    "Oben rechts",
    "Mitte links",
    "Mitte",
    "Mitte rechts",
    "Unten links",
    "Unten Mitte",
    "Unten rechts",
    "Schlie\337en",  // 119: Schließen
    "Anwenden",
    "Ma\337einheiten",  // 121: Maßeinheiten
    "Einheiten",
    "Rate",
    "Alle Grafiken",
    "Video f\374r Windows",  // 125: Video für Windows
    "Datei",
    "Speicher",
    "Aktualisiert die Vorschau automatisch mit den gew\344hlten \304nderungen",  // 128: Aktualisiert die Vorschau automatisch mit den gewählten Änderungen
    "Alles drucken",
    "Auswahl drucken",
    "G\344ngige Grafikdateien",  // 131: Gängige Grafikdateien
    "Alle Dateien",
    "HSV",
    "HSL",
    "RGB",
    "FFT",
    "Sch\344rfen",  // 137: Schärfen
    "Kan\344le",  // 138: Kanäle
    "Pixel",
    "Bilder",
    "Bit",
    "Byte",
    "dpi",
    "KB",
    "Einpassen",
};

const char* const kSpanish[WordTableIds] = {
    "Vista Previa",
    "Original",
    "Resultado",
    "Aceptar",
    "Cancelar",
    "Bloquear vista previa",
    "Copiar resultado al original",
    "Contraste",
    "Brillo",
    "Tono",
    "Saturaci\363n",  // 10: Saturación
    "Valor",
    "Color base",
    "Color nuevo",
    "Luminosidad",
    "Rojo",
    "Verde",
    "Azul",
    "Valores del filtro",
    "Predefinidos",
    "Divisor",
    "Cargar",
    "Guardar",
    "Ecualizaci\363n",  // 23: Ecualización
    "Umbral",
    "Ecualizar",
    "Histograma",
    "Gris",
    "Luz",
    "Izquierda",
    "Arriba",
    "Ancho",
    "Alto",
    "Color",
    "Cantidad de imagen original",
    "Lente",
    "Refracci\363n",  // 36: Refracción
    "Vista previa de par\341metros",  // 37: Vista previa de parámetros
    "Calidad",
    "M\351todo DCT",  // 39: Método DCT
    "Factor de suavizado",
    "Escala de grises",
    "Huffman \363ptimo",  // 42: Huffman óptimo
    "Tama\361o original",  // 43: Tamaño original
    "Tama\361o comprimido",  // 44: Tamaño comprimido
    "Avanzado",
    "Progresivo",
    "Compresi\363n",  // 47: Compresión
    "\315ndice de imagen",  // 48: Índice de imagen
    "Fotom\351trico",  // 49: Fotométrico
    "Informaci\363n del documento escaneado",  // 50: Información del documento escaneado
    "Nombre",
    "Descripci\363n",  // 52: Descripción
    "Nombre de p\341gina",  // 53: Nombre de página
    "N\372mero de p\341gina",  // 54: Número de página
    "de",
    "Posici\363n horiz. (pulgadas)",  // 56: Posición horiz. (pulgadas)
    "Posici\363n vert. (pulgadas)",  // 57: Posición vert. (pulgadas)
    "Colores",
    "Transparente",
    "Color transparente",
    "Entrelazado",
    "Fondo",
    "Posici\363n horiz.",  // 63: Posición horiz.
    "Posici\363n vert.",  // 64: Posición vert.
    "Tiempo de retardo",
    "Filtro",
    "Onda",
    "Amplitud",
    "Longitud de onda",
    "Fase",
    "Reflectante",
    "Filtro de usuario",
    "Filtros morfol\363gicos",  // 73: Filtros morfológicos
    "Tama\361o de ventana",  // 74: Tamaño de ventana
    "M\341ximo",  // 75: Máximo
    "M\355nimo",  // 76: Mínimo
    "Apertura",
    "Cierre",
    "Girar",
    "Voltear",
    "Horizontal",
    "Vertical",
    "Imagen en el dominio de la frecuencia",
    "Seleccione la regi\363n a limpiar",  // 84: Seleccione la región a limpiar
    "Borrar",
    "Restablecer",
    "Animar",
    "Cargar filtro",
    "Guardar filtro",
    "Mapa de relieve",
    "Imprimir",
    "M\341rgenes",  // 92: Márgenes
    "pulgadas",
    "Derecha",
    "Abajo",
    "Posici\363n",  // 96: Posición
    "Tama\361o",  // 97: Tamaño
    "Normal",
    "Ajustar a la p\341gina",  // 99: Ajustar a la página
    "Estirar a la p\341gina",  // 100: Estirar a la página
    "Tama\361o especificado",  // 101: Tamaño especificado
    "Correcci\363n gamma",  // 102: Corrección gamma
    "Valor",
    "Configurar impresi\363n",  // 104: Configurar impresión
    "Margen izquierdo",
    "Margen superior",
    "Margen derecho",
    "Margen inferior",
    "Ubicaci\363n/tama\361o",  // 109: Ubicación/tamaño
    "Arriba izquierda",
    "Arriba centro",
    "Arriba derecha",
    "Centro izquierda",
    "Centro",
    "Centro derecha",
    "Abajo izquierda",
    "Abajo centro",
    "Abajo derecha",
    "Cerrar",
    "Aplicar",
    "Unidades de medida",
    "Unidades",
    "Tasa",
    "Todos los gr\341ficos",  // 124: Todos los gráficos
    "Video para Windows",
    "Archivo",
    "Memoria",
    "Actualiza autom\341ticamente la vista previa con los cambios seleccionados",  // 128: Actualiza automáticamente la vista previa con los cambios seleccionados
    "Imprimir todo",
    "Imprimir selecci\363n",  // 130: Imprimir selección
    "Archivos gr\341ficos comunes",  // 131: Archivos gráficos comunes
    "Todos los archivos",
    "HSV",
    "HSL",
    "RGB",
    "FFT",
    "Enfocar",
    "Canales",
    "p\355xel",  // 139: píxel
    "fotogramas",
    "bit",
    "byte",
    "ppp",
    "KB",
    "Ajustar",
};

const char* const kFrench[WordTableIds] = {
    "Pr\351visualisation",  // 0: Prévisualisation
    "Original",
    "R\351sultat",  // 2: Résultat
    "Ok",
    "Annuler",
    "Verrouiller l'aper\347u",  // 5: Verrouiller l'aperçu
    "Copier le r\351sultat vers l'original",  // 6: Copier le résultat vers l'original
    "Contraste",
    "Luminosit\351",  // 8: Luminosité
    "Teinte",
    "Saturation",
    "Valeur",
    "Couleur de base",
    "Nouvelle couleur",
    "Luminance",
    "Rouge",
    "Vert",
    "Bleu",
    "Valeurs du filtre",
    "Pr\351r\351glages",  // 19: Préréglages
    "Diviseur",
    "Charger",
    "Enregistrer",
    "\311galisation",  // 23: Égalisation
    "Seuil",
    "\311galiser",  // 25: Égaliser
    "Histogramme",
    "Gris",
    "Lumi\350re",  // 28: Lumière
    "Gauche",
    "Haut",
    "Largeur",
    "Hauteur",
    "Couleur",
    "Quantit\351 d'image originale",  // 34: Quantité d'image originale
    "Lentille",
    "R\351fraction",  // 36: Réfraction
    "Aper\347u des param\350tres",  // 37: Aperçu des paramètres
    "Qualit\351",  // 38: Qualité
    "M\351thode DCT",  // 39: Méthode DCT
    "Facteur de lissage",
    "Niveaux de gris",
    "Huffman optimal",
    "Taille originale",
    "Taille compress\351e",  // 44: Taille compressée
    "Avanc\351",  // 45: Avancé
    "Progressif",
    "Compression",
    "Index de l'image",
    "Photom\351trique",  // 49: Photométrique
    "Infos du document num\351ris\351",  // 50: Infos du document numérisé
    "Nom",
    "Description",
    "Nom de la page",
    "Num\351ro de page",  // 54: Numéro de page
    "sur",
    "Position horiz. (pouces)",
    "Position vert. (pouces)",
    "Couleurs",
    "Transparent",
    "Couleur transparente",
    "Entrelac\351",  // 61: Entrelacé
    "Arri\350re-plan",  // 62: Arrière-plan
    "Position horiz.",
    "Position vert.",
    "D\351lai",  // 65: Délai
    "Filtre",
    "Onde",
    "Amplitude",
    "Longueur d'onde",
    "Phase",
    "R\351fl\351chissant",  // 71: Réfléchissant
    "Filtre utilisateur",
    "Filtres morphologiques",
    "Taille de la fen\352tre",  // 74: Taille de la fenêtre
    "Maximum",
    "Minimum",
    "Ouverture",
    "Fermeture",
    "Rotation",
    "Retourner",
    "Horizontal",
    "Vertical",
    "Image dans le domaine fr\351quentiel",  // 83: Image dans le domaine fréquentiel
    "S\351lectionnez la zone \340 nettoyer",  // 84: Sélectionnez la zone à nettoyer
    "Effacer",
    "R\351initialiser",  // 86: Réinitialiser
    "Animer",
    "Charger un filtre",
    "Enregistrer le filtre",
    "Placage de relief",
    "Imprimer",
    "Marges",
    "pouces",
    "Droite",
    "Bas",
    "Position",
    "Taille",
    "Normal",
    "Ajuster \340 la page",  // 99: Ajuster à la page
    "\311tirer \340 la page",  // 100: Étirer à la page
    "Taille sp\351cifi\351e",  // 101: Taille spécifiée
    "Correction gamma",
    "Valeur",
    "Configuration de l'impression",
    "Marge gauche",
    "Marge haute",
    "Marge droite",
    "Marge basse",
    "Emplacement/taille",
    "En haut \340 gauche",  // 110: En haut à gauche
    "En haut au centre",
    "En haut \340 droite",  // 112: En haut à droite
    "Au centre \340 gauche",  // 113: Au centre à gauche
    "Centre",
    "Au centre \340 droite",  // 115: Au centre à droite
    "En bas \340 gauche",  // 116: En bas à gauche
    "En bas au centre",
    "En bas \340 droite",  // 118: En bas à droite
    "Fermer",
    "Appliquer",
    "Unit\351s de mesure",  // 121: Unités de mesure
    "Unit\351s",  // 122: Unités
    "Taux",
    "Tous les graphiques",
    "Vid\351o pour Windows",  // 125: Vidéo pour Windows
    "Fichier",
    "M\351moire",  // 127: Mémoire
    "Met \340 jour automatiquement l'aper\347u avec les modifications choisies",  // 128: Met à jour automatiquement l'aperçu avec les modifications choisies
    "Tout imprimer",
    "Imprimer la s\351lection",  // 130: Imprimer la sélection
    "Fichiers graphiques courants",
    "Tous les fichiers",
    "TSV",
    "TSL",
    "RVB",
    "FFT",
    "Nettet\351",  // 137: Netteté
    "Canaux",
    "pixel",
    "images",
    "bit",
    "octet",
    "ppp",
    "Ko",
    "Ajuster",
};

const TWordAt kPortuguese[] = {
    {0, "Visualizar"},
    {3, "OK"},
    {4, "Cancelar"},
};

const TWordAt kGreek[] = {
    {0, "\320\361\357\345\360\351\363\352\374\360\347\363\347"},  // Προεπισκόπηση
    {3, "\317\312"},  // ΟΚ
    {4, "\242\352\365\361\357"},  // Άκυρο
};

const TWordAt kRussian[] = {
    {0, "\317\360\356\361\354\356\362\360"},  // Просмотр
    {3, "OK"},
    {4, "\316\362\354\345\355\340"},  // Отмена
};

const TWordAt kDutch[] = {
    {0, "Voorbeeld"},
    {3, "OK"},
    {4, "Annuleren"},
};

const TWordAt kSwedish[] = {
    {0, "Granska"},
    {3, "OK"},
    {4, "Avbryt"},
};

const TWordAt kPolish[] = {
    {0, "Podgl\271d"},  // Podgląd
    {3, "OK"},
    {4, "Anuluj"},
};

const char* const kJapanese[WordTableIds] = {
    "\203v\203\214\203r\203\205\201[",  // 0: プレビュー
    "\203I\203\212\203W\203i\203\213",  // 1: オリジナル
    "\214\213\211\312",  // 2: 結果
    "OK",
    "\203L\203\203\203\223\203Z\203\213",  // 4: キャンセル
    "\203v\203\214\203r\203\205\201[\202\360\214\305\222\350",  // 5: プレビューを固定
    "\214\213\211\312\202\360\203I\203\212\203W\203i\203\213\202\311\203R\203s\201[",  // 6: 結果をオリジナルにコピー
    "\203R\203\223\203g\203\211\203X\203g",  // 7: コントラスト
    "\226\276\202\351\202\263",  // 8: 明るさ
    "\220F\221\212",  // 9: 色相
    "\215\312\223x",  // 10: 彩度
    "\222l",  // 11: 値
    "\212\356\226{\220F",  // 12: 基本色
    "\220V\202\265\202\242\220F",  // 13: 新しい色
    "\213P\223x",  // 14: 輝度
    "\220\324",  // 15: 赤
    "\227\316",  // 16: 緑
    "\220\302",  // 17: 青
    "\203t\203B\203\213\203^\222l",  // 18: フィルタ値
    "\203v\203\212\203Z\203b\203g",  // 19: プリセット
    "\217\234\220\224",  // 20: 除数
    "\223\307\202\335\215\236\202\335",  // 21: 読み込み
    "\225\333\221\266",  // 22: 保存
    "\213\317\223\231\211\273",  // 23: 均等化
    "\202\265\202\253\202\242\222l",  // 24: しきい値
    "\213\317\223\231\211\273\202\267\202\351",  // 25: 均等化する
    "\203q\203X\203g\203O\203\211\203\200",  // 26: ヒストグラム
    "\203O\203\214\201[",  // 27: グレー
    "\226\276\202\351\202\242",  // 28: 明るい
    "\215\266",  // 29: 左
    "\217\343",  // 30: 上
    "\225\235",  // 31: 幅
    "\215\202\202\263",  // 32: 高さ
    "\220F",  // 33: 色
    "\214\263\211\346\221\234\202\314\227\312",  // 34: 元画像の量
    "\203\214\203\223\203Y",  // 35: レンズ
    "\213\374\220\334",  // 36: 屈折
    "\203p\203\211\203\201\201[\203^\202\314\203v\203\214\203r\203\205\201[",  // 37: パラメータのプレビュー
    "\225i\216\277",  // 38: 品質
    "DCT \225\373\216\256",  // 39: DCT 方式
    "\203X\203\200\201[\203W\203\223\203O\214W\220\224",  // 40: スムージング係数
    "\203O\203\214\201[\203X\203P\201[\203\213",  // 41: グレースケール
    "\215\305\223K\203n\203t\203}\203\223",  // 42: 最適ハフマン
    "\214\263\202\314\203T\203C\203Y",  // 43: 元のサイズ
    "\210\263\217k\214\343\202\314\203T\203C\203Y",  // 44: 圧縮後のサイズ
    "\217\332\215\327\220\335\222\350",  // 45: 詳細設定
    "\203v\203\215\203O\203\214\203b\203V\203u",  // 46: プログレッシブ
    "\210\263\217k",  // 47: 圧縮
    "\211\346\221\234\224\324\215\206",  // 48: 画像番号
    "\221\252\214\365\225\373\216\256",  // 49: 測光方式
    "\203X\203L\203\203\203\223\225\266\217\221\202\314\217\356\225\361",  // 50: スキャン文書の情報
    "\226\274\221O",  // 51: 名前
    "\220\340\226\276",  // 52: 説明
    "\203y\201[\203W\226\274",  // 53: ページ名
    "\203y\201[\203W\224\324\215\206",  // 54: ページ番号
    "/",
    "\220\205\225\275\210\312\222u (\203C\203\223\203`)",  // 56: 水平位置 (インチ)
    "\220\202\222\274\210\312\222u (\203C\203\223\203`)",  // 57: 垂直位置 (インチ)
    "\220F\220\224",  // 58: 色数
    "\223\247\211\337",  // 59: 透過
    "\223\247\211\337\220F",  // 60: 透過色
    "\203C\203\223\203^\201[\203\214\201[\203X",  // 61: インターレース
    "\224w\214i",  // 62: 背景
    "\220\205\225\275\210\312\222u",  // 63: 水平位置
    "\220\202\222\274\210\312\222u",  // 64: 垂直位置
    "\222x\211\204\216\236\212\324",  // 65: 遅延時間
    "\203t\203B\203\213\203^",  // 66: フィルタ
    "\224g",  // 67: 波
    "\220U\225\235",  // 68: 振幅
    "\224g\222\267",  // 69: 波長
    "\210\312\221\212",  // 70: 位相
    "\224\275\216\313",  // 71: 反射
    "\203\206\201[\203U\201[ \203t\203B\203\213\203^",  // 72: ユーザー フィルタ
    "\203\202\203\213\203t\203H\203\215\203W\201[ \203t\203B\203\213\203^",  // 73: モルフォロジー フィルタ
    "\203E\203B\203\223\203h\203E \203T\203C\203Y",  // 74: ウィンドウ サイズ
    "\215\305\221\345",  // 75: 最大
    "\215\305\217\254",  // 76: 最小
    "\203I\201[\203v\203j\203\223\203O",  // 77: オープニング
    "\203N\203\215\201[\203W\203\223\203O",  // 78: クロージング
    "\211\361\223]",  // 79: 回転
    "\224\275\223]",  // 80: 反転
    "\220\205\225\275",  // 81: 水平
    "\220\202\222\274",  // 82: 垂直
    "\216\374\224g\220\224\227\314\210\346\202\314\211\346\221\234",  // 83: 周波数領域の画像
    "\217\301\213\216\202\267\202\351\224\315\210\315\202\360\221I\221\360",  // 84: 消去する範囲を選択
    "\203N\203\212\203A",  // 85: クリア
    "\203\212\203Z\203b\203g",  // 86: リセット
    "\203A\203j\203\201\201[\203V\203\207\203\223",  // 87: アニメーション
    "\203t\203B\203\213\203^\202\314\223\307\202\335\215\236\202\335",  // 88: フィルタの読み込み
    "\203t\203B\203\213\203^\202\314\225\333\221\266",  // 89: フィルタの保存
    "\203o\203\223\203v \203}\203b\203v",  // 90: バンプ マップ
    "\210\363\215\374",  // 91: 印刷
    "\227]\224\222",  // 92: 余白
    "\203C\203\223\203`",  // 93: インチ
    "\211E",  // 94: 右
    "\211\272",  // 95: 下
    "\210\312\222u",  // 96: 位置
    "\203T\203C\203Y",  // 97: サイズ
    "\225W\217\200",  // 98: 標準
    "\203y\201[\203W\202\311\215\207\202\355\202\271\202\351",  // 99: ページに合わせる
    "\203y\201[\203W\202\311\212g\221\345",  // 100: ページに拡大
    "\216w\222\350\203T\203C\203Y",  // 101: 指定サイズ
    "\203K\203\223\203}\225\342\220\263",  // 102: ガンマ補正
    "\222l",  // 103: 値
    "\210\363\215\374\220\335\222\350",  // 104: 印刷設定
    "\215\266\227]\224\222",  // 105: 左余白
    "\217\343\227]\224\222",  // 106: 上余白
    "\211E\227]\224\222",  // 107: 右余白
    "\211\272\227]\224\222",  // 108: 下余白
    "\210\312\222u/\203T\203C\203Y",  // 109: 位置/サイズ
    "\215\266\217\343",  // 110: 左上
    "\222\206\211\233\217\343",  // 111: 中央上
    "\211E\217\343",  // 112: 右上
    "\215\266\222\206\211\233",  // 113: 左中央
    "\222\206\211\233",  // 114: 中央
    "\211E\222\206\211\233",  // 115: 右中央
    "\215\266\211\272",  // 116: 左下
    "\222\206\211\233\211\272",  // 117: 中央下
    "\211E\211\272",  // 118: 右下
    "\225\302\202\266\202\351",  // 119: 閉じる
    "\223K\227p",  // 120: 適用
    "\222P\210\312\214n",  // 121: 単位系
    "\222P\210\312",  // 122: 単位
    "\203\214\201[\203g",  // 123: レート
    "\202\267\202\327\202\304\202\314\203O\203\211\203t\203B\203b\203N",  // 124: すべてのグラフィック
    "Video for Windows",
    "\203t\203@\203C\203\213",  // 126: ファイル
    "\203\201\203\202\203\212",  // 127: メモリ
    "\221I\221\360\202\265\202\275\225\317\215X\202\305\203v\203\214\203r\203\205\201[\202\360\216\251\223\256\223I\202\311\215X\220V\202\265\202\334\202\267",  // 128: 選択した変更でプレビューを自動的に更新します
    "\202\267\202\327\202\304\210\363\215\374",  // 129: すべて印刷
    "\221I\221\360\225\224\225\252\202\360\210\363\215\374",  // 130: 選択部分を印刷
    "\210\352\224\312\223I\202\310\203O\203\211\203t\203B\203b\203N \203t\203@\203C\203\213",  // 131: 一般的なグラフィック ファイル
    "\202\267\202\327\202\304\202\314\203t\203@\203C\203\213",  // 132: すべてのファイル
    "HSV",
    "HSL",
    "RGB",
    "FFT",
    "\203V\203\203\201[\203v",  // 137: シャープ
    "\203`\203\203\203\223\203l\203\213",  // 138: チャンネル
    "\203s\203N\203Z\203\213",  // 139: ピクセル
    "\203t\203\214\201[\203\200",  // 140: フレーム
    "\203r\203b\203g",  // 141: ビット
    "\203o\203C\203g",  // 142: バイト
    "dpi",
    "KB",
    "\215\207\202\355\202\271\202\351",  // 145: 合わせる
};

const TWordAt kCzech[] = {
    {0, "N\341hled"},  // Náhled
    {3, "OK"},
    {4, "Storno"},
};

const TWordAt kFinnish[] = {
    {0, "Esikatselu"},
    {3, "OK"},
    {4, "Peruuta"},
};

const TWordAt kFarsi[] = {
    {0, "\201\355\324 \344\343\307\355\324"},  // پيش نمايش
    {3, "\312\307\306\355\317"},  // تائيد
    {4, "\307\344\325\321\307\335"},  // انصراف
};

const char* const kChinese[WordTableIds] = {
    "\324\244\300\300",  // 0: 预览
    "\324\255\312\274",  // 1: 原始
    "\275\341\271\373",  // 2: 结果
    "\310\267\266\250",  // 3: 确定
    "\310\241\317\373",  // 4: 取消
    "\313\370\266\250\324\244\300\300",  // 5: 锁定预览
    "\275\253\275\341\271\373\270\264\326\306\265\275\324\255\312\274\315\274\317\361",  // 6: 将结果复制到原始图像
    "\266\324\261\310\266\310",  // 7: 对比度
    "\301\301\266\310",  // 8: 亮度
    "\311\253\265\367",  // 9: 色调
    "\261\245\272\315\266\310",  // 10: 饱和度
    "\326\265",  // 11: 值
    "\273\371\261\276\321\325\311\253",  // 12: 基本颜色
    "\320\302\321\325\311\253",  // 13: 新颜色
    "\303\367\266\310",  // 14: 明度
    "\272\354",  // 15: 红
    "\302\314",  // 16: 绿
    "\300\266",  // 17: 蓝
    "\302\313\276\265\326\265",  // 18: 滤镜值
    "\324\244\311\350",  // 19: 预设
    "\263\375\312\375",  // 20: 除数
    "\274\323\324\330",  // 21: 加载
    "\261\243\264\346",  // 22: 保存
    "\276\371\272\342\273\257",  // 23: 均衡化
    "\343\320\326\265",  // 24: 阈值
    "\276\371\272\342",  // 25: 均衡
    "\326\261\267\275\315\274",  // 26: 直方图
    "\273\322\311\253",  // 27: 灰色
    "\301\301\271\342",  // 28: 亮光
    "\327\363",  // 29: 左
    "\311\317",  // 30: 上
    "\277\355\266\310",  // 31: 宽度
    "\270\337\266\310",  // 32: 高度
    "\321\325\311\253",  // 33: 颜色
    "\324\255\312\274\315\274\317\361\261\310\300\375",  // 34: 原始图像比例
    "\315\270\276\265",  // 35: 透镜
    "\325\333\311\344",  // 36: 折射
    "\262\316\312\375\324\244\300\300",  // 37: 参数预览
    "\326\312\301\277",  // 38: 质量
    "DCT \267\275\267\250",  // 39: DCT 方法
    "\306\275\273\254\317\265\312\375",  // 40: 平滑系数
    "\273\322\266\310",  // 41: 灰度
    "\323\305\273\257\273\364\267\362\302\374\261\340\302\353",  // 42: 优化霍夫曼编码
    "\324\255\312\274\264\363\320\241",  // 43: 原始大小
    "\321\271\313\365\272\363\264\363\320\241",  // 44: 压缩后大小
    "\270\337\274\266",  // 45: 高级
    "\275\245\275\370\312\275",  // 46: 渐进式
    "\321\271\313\365",  // 47: 压缩
    "\315\274\317\361\313\367\322\375",  // 48: 图像索引
    "\271\342\266\310",  // 49: 光度
    "\311\250\303\350\316\304\265\265\320\305\317\242",  // 50: 扫描文档信息
    "\303\373\263\306",  // 51: 名称
    "\303\350\312\366",  // 52: 描述
    "\322\263\303\346\303\373\263\306",  // 53: 页面名称
    "\322\263\302\353",  // 54: 页码
    "\271\262",  // 55: 共
    "\313\256\306\275\316\273\326\303\243\250\323\242\264\347\243\251",  // 56: 水平位置（英寸）
    "\264\271\326\261\316\273\326\303\243\250\323\242\264\347\243\251",  // 57: 垂直位置（英寸）
    "\321\325\311\253\312\375",  // 58: 颜色数
    "\315\270\303\367",  // 59: 透明
    "\315\270\303\367\311\253",  // 60: 透明色
    "\270\364\320\320\311\250\303\350",  // 61: 隔行扫描
    "\261\263\276\260",  // 62: 背景
    "\313\256\306\275\316\273\326\303",  // 63: 水平位置
    "\264\271\326\261\316\273\326\303",  // 64: 垂直位置
    "\321\323\263\331\312\261\274\344",  // 65: 延迟时间
    "\302\313\276\265",  // 66: 滤镜
    "\262\250\300\313",  // 67: 波浪
    "\325\361\267\371",  // 68: 振幅
    "\262\250\263\244",  // 69: 波长
    "\317\340\316\273",  // 70: 相位
    "\267\264\311\344",  // 71: 反射
    "\327\324\266\250\322\345\302\313\276\265",  // 72: 自定义滤镜
    "\320\316\314\254\321\247\302\313\276\265",  // 73: 形态学滤镜
    "\264\260\277\332\264\363\320\241",  // 74: 窗口大小
    "\327\356\264\363\326\265",  // 75: 最大值
    "\327\356\320\241\326\265",  // 76: 最小值
    "\277\252\324\313\313\343",  // 77: 开运算
    "\261\325\324\313\313\343",  // 78: 闭运算
    "\320\375\327\252",  // 79: 旋转
    "\267\255\327\252",  // 80: 翻转
    "\313\256\306\275",  // 81: 水平
    "\264\271\326\261",  // 82: 垂直
    "\306\265\323\362\315\274\317\361",  // 83: 频域图像
    "\321\241\324\361\322\252\307\345\263\375\265\304\307\370\323\362",  // 84: 选择要清除的区域
    "\307\345\263\375",  // 85: 清除
    "\326\330\326\303",  // 86: 重置
    "\266\257\273\255",  // 87: 动画
    "\274\323\324\330\302\313\276\265",  // 88: 加载滤镜
    "\261\243\264\346\302\313\276\265",  // 89: 保存滤镜
    "\260\274\315\271\314\371\315\274",  // 90: 凹凸贴图
    "\264\362\323\241",  // 91: 打印
    "\322\263\261\337\276\340",  // 92: 页边距
    "\323\242\264\347",  // 93: 英寸
    "\323\322",  // 94: 右
    "\317\302",  // 95: 下
    "\316\273\326\303",  // 96: 位置
    "\264\363\320\241",  // 97: 大小
    "\325\375\263\243",  // 98: 正常
    "\312\312\272\317\322\263\303\346",  // 99: 适合页面
    "\300\255\311\354\265\275\322\263\303\346",  // 100: 拉伸到页面
    "\326\270\266\250\264\363\320\241",  // 101: 指定大小
    "\331\244\302\352\320\243\325\375",  // 102: 伽玛校正
    "\326\265",  // 103: 值
    "\264\362\323\241\311\350\326\303",  // 104: 打印设置
    "\327\363\261\337\276\340",  // 105: 左边距
    "\311\317\261\337\276\340",  // 106: 上边距
    "\323\322\261\337\276\340",  // 107: 右边距
    "\317\302\261\337\276\340",  // 108: 下边距
    "\316\273\326\303/\264\363\320\241",  // 109: 位置/大小
    "\327\363\311\317",  // 110: 左上
    "\326\320\311\317",  // 111: 中上
    "\323\322\311\317",  // 112: 右上
    "\327\363\326\320",  // 113: 左中
    "\276\323\326\320",  // 114: 居中
    "\323\322\326\320",  // 115: 右中
    "\327\363\317\302",  // 116: 左下
    "\326\320\317\302",  // 117: 中下
    "\323\322\317\302",  // 118: 右下
    "\271\330\261\325",  // 119: 关闭
    "\323\246\323\303",  // 120: 应用
    "\266\310\301\277\265\245\316\273",  // 121: 度量单位
    "\265\245\316\273",  // 122: 单位
    "\261\310\302\312",  // 123: 比率
    "\313\371\323\320\315\274\320\316",  // 124: 所有图形
    "Video for Windows",
    "\316\304\274\376",  // 126: 文件
    "\304\332\264\346",  // 127: 内存
    "\270\371\276\335\313\371\321\241\265\304\270\374\270\304\327\324\266\257\270\374\320\302\324\244\300\300",  // 128: 根据所选的更改自动更新预览
    "\310\253\262\277\264\362\323\241",  // 129: 全部打印
    "\264\362\323\241\313\371\321\241",  // 130: 打印所选
    "\263\243\323\303\315\274\320\316\316\304\274\376",  // 131: 常用图形文件
    "\313\371\323\320\316\304\274\376",  // 132: 所有文件
    "HSV",
    "HSL",
    "RGB",
    "FFT",
    "\310\361\273\257",  // 137: 锐化
    "\315\250\265\300",  // 138: 通道
    "\317\361\313\330",  // 139: 像素
    "\326\241",  // 140: 帧
    "\316\273",  // 141: 位
    "\327\326\275\332",  // 142: 字节
    "dpi",
    "KB",
    "\312\312\272\317",  // 145: 适合
};

const TWordAt kChineseTraditional[] = {
    {0, "\356A\323["},  // 預覽
    {3, "\264_\266\250"},  // 確定
    {4, "\310\241\317\373"},  // 取消
};

const TWordAt kDanish[] = {
    {0, "Visning"},
    {3, "OK"},
    {4, "Annuller"},
};

const TWordAt kTurkish[] = {
    {0, "\326nizleme"},  // Önizleme
    {3, "Tamam"},
    {4, "\335ptal"},  // İptal
};

const TWordAt kKorean[] = {
    {0, "\271\314\270\256\272\270\261\342"},  // 미리보기
    {3, "\310\256\300\316"},  // 확인
    {4, "\303\353\274\322"},  // 취소
};

const TWordAt kHungarian[] = {
    {0, "El\365n\351zet"},  // Előnézet
    {3, "OK"},
    {4, "M\351gsem"},  // Mégsem
};

void FillRow(TMsgLanguage Language, uint32_t CodePage, const char* const (&Words)[WordTableIds]) {
  for (int32_t Id = 0; Id < WordTableIds; ++Id) StoreWord(Language, Id, CodePageToUtf8(CodePage, Words[Id]));
}

template <size_t N>
void FillWords(TMsgLanguage Language, uint32_t CodePage, const TWordAt (&Words)[N]) {
  for (const TWordAt& W : Words) StoreWord(Language, W.Id, CodePageToUtf8(CodePage, W.Word));
}

}  // namespace

void StoreWord(int32_t Language, int32_t Id, const std::string& Text) {
  if (Language < 0 || Language >= WordTableLanguages || Id < 0 || Id >= WordTableIds) return;
  Table()[size_t(Language * WordTableIds + Id)] = Text;
}

void FillWordTable() {
  FillRow(msEnglish, 1252, kEnglish);
  FillRow(msItalian, 1252, kItalian);
  FillRow(msGerman, 1252, kGerman);
  FillRow(msSpanish, 1252, kSpanish);
  FillRow(msFrench, 1252, kFrench);
  FillWords(msPortuguese, 1252, kPortuguese);
  FillWords(msGreek, 1253, kGreek);
  FillWords(msRussian, 1251, kRussian);
  FillWords(msDutch, 1252, kDutch);
  FillWords(msSwedish, 1252, kSwedish);
  FillWords(msPolish, 1250, kPolish);
  FillRow(msJapanese, 932, kJapanese);
  FillWords(msCzech, 1250, kCzech);
  FillWords(msFinnish, 1252, kFinnish);
  FillWords(msFarsi, 1256, kFarsi);
  FillRow(msChinese, 936, kChinese);
  FillWords(msChineseTraditional, 936, kChineseTraditional);
  FillWords(msDanish, 1252, kDanish);
  FillWords(msTurkish, 1254, kTurkish);
  FillWords(msKorean, 949, kKorean);
  FillWords(msHungarian, 1250, kHungarian);
}

TMsgLanguage LanguageOfLocale(uint16_t PrimaryLanguage, uint16_t SubLanguage) {
  struct TRow {
    uint16_t Primary;
    TMsgLanguage Language;
  };
  static constexpr TRow Rows[] = {
      {LANG_CZECH, msCzech},       {LANG_DANISH, msDanish},         {LANG_GERMAN, msGerman},
      {LANG_GREEK, msGreek},       {LANG_ENGLISH, msEnglish},       {LANG_SPANISH, msSpanish},
      {LANG_FINNISH, msFinnish},   {LANG_FRENCH, msFrench},         {LANG_HUNGARIAN, msHungarian},
      {LANG_ITALIAN, msItalian},   {LANG_JAPANESE, msJapanese},     {LANG_KOREAN, msKorean},
      {LANG_DUTCH, msDutch},       {LANG_POLISH, msPolish},         {LANG_PORTUGUESE, msPortuguese},
      {LANG_RUSSIAN, msRussian},   {LANG_SWEDISH, msSwedish},       {LANG_TURKISH, msTurkish},
      {LANG_FARSI, msFarsi},
  };
  if (PrimaryLanguage == LANG_CHINESE) {
    if (SubLanguage == SUBLANG_CHINESE_TRADITIONAL) return msChineseTraditional;
    if (SubLanguage == SUBLANG_CHINESE_SIMPLIFIED) return msChinese;
    return msEnglish;
  }
  for (const TRow& R : Rows)
    if (R.Primary == PrimaryLanguage) return R.Language;
  return msEnglish;
}

std::string LookupWord(int32_t Id, TMsgLanguage Language) {
  if (Id < 0 || Id >= WordTableIds || int32_t(Language) >= WordTableLanguages) return "";
  if (Language == msSystem) Language = LanguageOfLocale(SysLocale().PriLangID, SysLocale().SubLangID);
  const std::string& Word = Table()[size_t(int32_t(Language) * WordTableIds + Id)];
  return Word.empty() ? Table()[size_t(int32_t(msEnglish) * WordTableIds + Id)] : Word;
}

}  // namespace zv
