#include "batch/options.h"

#include <algorithm>
#include <cctype>

#include "text/int_text.h"
#include "toolkit/formats.h"

#ifndef MORVANE_VERSION
#define MORVANE_VERSION "desconocida"
#endif

namespace morvane {

namespace {

std::string Minusculas(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
  return text;
}

std::vector<std::string> Partir(const std::string& text, char separador) {
  std::vector<std::string> partes;
  std::string::size_type inicio = 0;
  while (true) {
    const std::string::size_type fin = text.find(separador, inicio);
    partes.push_back(
        text.substr(inicio, fin == std::string::npos ? std::string::npos : fin - inicio));
    if (fin == std::string::npos) break;
    inicio = fin + 1;
  }
  return partes;
}

std::string Incorrecto(const std::string& opcion, const std::string& valor,
                       const std::string& admitidos) {
  return "Valor incorrecto para " + opcion + ": «" + valor + "»; valores admitidos: " + admitidos;
}

// One value among a fixed list.
template <class T>
bool Elegir(const std::string& opcion, const std::string& valor,
            const std::vector<std::pair<std::string, T>>& lista, T& destino, std::string& error) {
  for (const auto& [nombre, v] : lista) {
    if (Minusculas(valor) == nombre) {
      destino = v;
      return true;
    }
  }
  std::string admitidos;
  for (const auto& entrada : lista) admitidos += (admitidos.empty() ? "" : ", ") + entrada.first;
  error = Incorrecto(opcion, valor, admitidos);
  return false;
}

bool Entero(const std::string& op, const std::string& v, std::int32_t minimo, std::int32_t maximo,
            const std::string& admitidos, std::int32_t& destino, std::string& error) {
  const auto n = ParseInt32(v);
  if (!n || *n < minimo || *n > maximo) {
    error = Incorrecto(op, v, admitidos);
    return false;
  }
  destino = *n;
  return true;
}

// The help's lines are cut at word boundaries to at most this many characters.
constexpr std::size_t kAnchoAyuda = 50;

std::size_t Caracteres(const std::string& utf8) {
  return static_cast<std::size_t>(std::count_if(utf8.begin(), utf8.end(), [](char ch) {
    return (static_cast<unsigned char>(ch) & 0xC0) != 0x80;
  }));
}

std::string Envolver(const std::string& texto) {
  std::string resultado, linea;
  for (const std::string& palabra : Partir(texto, ' ')) {
    if (!linea.empty() && Caracteres(linea) + 1 + Caracteres(palabra) > kAnchoAyuda) {
      resultado += linea + "\n";
      linea.clear();
    }
    linea += (linea.empty() ? "" : " ") + palabra;
  }
  return resultado + linea;
}

std::string Unidas(const std::vector<std::string>& partes, const std::string& separador) {
  std::string texto;
  for (const std::string& p : partes) texto += (texto.empty() ? "" : separador) + p;
  return texto;
}

// "a, b o c"
std::string Enumeracion(const std::vector<std::string>& partes, const std::string& separador,
                        const std::string& ultimo) {
  if (partes.size() < 2) return Unidas(partes, separador);
  return Unidas({partes.begin(), partes.end() - 1}, separador) + ultimo + partes.back();
}

// The filters the batch chooses by --filtro: their words, and their names in the help.
std::vector<std::string> PalabrasFiltro() {
  std::vector<std::string> palabras;
  for (const FiltroDescrito& f : TablaFiltros())
    if (f.palabraLote != nullptr) palabras.emplace_back(f.palabraLote);
  return palabras;
}
std::vector<std::string> NombresAyudaFiltro() {
  std::vector<std::string> nombres;
  for (const FiltroDescrito& f : TablaFiltros())
    if (f.palabraLote != nullptr) {
      // "Filtro de Media" is listed as "de Media", after one "Filtro".
      const std::string nombre = f.nombreVentana != nullptr ? f.nombreVentana : f.palabraLote;
      nombres.push_back(nombre.rfind("Filtro ", 0) == 0 ? nombre.substr(7) : nombre);
    }
  return nombres;
}

// "no con cubico": the --filtro values an option of the filters does not go with.
std::string NoCon(bool FiltroDescrito::*toma) {
  std::vector<std::string> palabras;
  for (const FiltroDescrito& f : TablaFiltros())
    if (f.palabraLote != nullptr && !(f.*toma)) palabras.emplace_back(f.palabraLote);
  return "no con " + Enumeracion(palabras, ", ", " ni ");
}

using Aplicar = decltype(Opcion::aplicar);

Aplicar Marcar(bool OpcionesLote::*campo) {
  return [campo](OpcionesLote& o, const std::string&, const std::string&, std::string&) {
    o.*campo = true;
    return true;
  };
}

Aplicar Texto(std::string OpcionesLote::*campo, bool vacioVale) {
  return [campo, vacioVale](OpcionesLote& o, const std::string& op, const std::string& v,
                            std::string& error) {
    if (!vacioVale && v.empty()) {
      error = Incorrecto(op, v, "el nombre de un fichero o carpeta");
      return false;
    }
    o.*campo = v;
    return true;
  };
}

std::vector<Opcion> CrearTabla() {
  const std::string imagenes = "Imágenes", matriz = "Matriz de detección",
                    restauracion = "Restauración", ejecucion = "Ejecución";
  return {
      {imagenes, "--salida", "-o", "DIR",
       "carpeta de los resultados, con las subcarpetas\n"
       "de las imágenes debajo (por omisión, cada uno\n"
       "junto a su imagen, con el nombre terminado en\n"
       "\"_restaurada\"); el valor puede ir pegado:\n"
       "-oscuro.bmp es -o scuro.bmp, no una imagen",
       Texto(&OpcionesLote::salida, false)},
      {imagenes, "--raiz", "", "DIR",
       "carpeta desde la que se cuentan las subcarpetas\n"
       "que se repiten bajo -o (por omisión, la carpeta\n"
       "común de todas las imágenes)",
       Texto(&OpcionesLote::raiz, false)},
      {imagenes, "--formato", "", "bmp|png|tif|jpg|pgm|webp|...",
       "formato de los resultados (por omisión, el de la imagen)",
       [](OpcionesLote& o, const std::string& op, const std::string& v, std::string& error) {
         std::vector<std::pair<std::string, std::string>> lista;
         for (const std::string& f : FormatosAdmitidos()) lista.emplace_back(f, f);
         const std::string valor = !v.empty() && v[0] == '.' ? v.substr(1) : v;
         return Elegir<std::string>(op, valor, lista, o.formato, error);
       }},
      {imagenes, "--sobrescribir", "", "",
       "escribe sobre los resultados que ya existen\n"
       "(nunca sobre una imagen de entrada; un enlace\n"
       "simbólico se sustituye, no se sigue)",
       Marcar(&OpcionesLote::sobrescribir)},
      {matriz, "--matriz", "", "3|5|7|9", "Tamaño Matriz (por omisión 3)",
       [](OpcionesLote& o, const std::string& op, const std::string& v, std::string& error) {
         return Elegir<int>(op, v, {{"3", 3}, {"5", 5}, {"7", 7}, {"9", 9}}, o.receta.tamanoMatriz,
                            error);
       }},
      {matriz, "--tipo", "", "ceros|piramidal|personalizada",
       "Tipo Matriz: 0's, Piramidal o Personalizada\n"
       "(por omisión ceros)",
       [](OpcionesLote& o, const std::string& op, const std::string& v, std::string& error) {
         return Elegir<TipoMatriz>(op, v,
                                   {{"ceros", TipoMatriz::Ceros},
                                    {"piramidal", TipoMatriz::Piramidal},
                                    {"personalizada", TipoMatriz::Personalizada}},
                                   o.receta.tipo, error);
       }},
      {matriz, "--n", "", "ENTERO",
       "valor que multiplica los coeficientes de la\n"
       "matriz piramidal (por omisión 0; solo con\n"
       "--tipo piramidal)",
       [](OpcionesLote& o, const std::string& op, const std::string& v, std::string& error) {
         return Entero(op, v, INT32_MIN, INT32_MAX, "un entero entre -2147483648 y 2147483647",
                       o.receta.factorN, error);
       }},
      {matriz, "--celdas", "", "\"a,b,c;d,e,f;g,h,i\"",
       "matriz personalizada: las filas separadas por ';'",
       Texto(&OpcionesLote::celdasTexto, true)},
      {restauracion, "--umbral", "", "ENTERO",
       "umbral de diferenciación entre puntos dañados\n"
       "y no dañados, no mayor de 255 (por omisión 50)",
       [](OpcionesLote& o, const std::string& op, const std::string& v, std::string& error) {
         return Entero(op, v, INT32_MIN, 255, "un entero no mayor de 255", o.receta.umbral, error);
       }},
      {restauracion, "--filtro", "", Unidas(PalabrasFiltro(), "|"),
       Envolver("Filtro " + Enumeracion(NombresAyudaFiltro(), ", ", " o ") + " (por omisión " +
                TablaFiltros().front().palabraLote + ")"),
       [](OpcionesLote& o, const std::string& op, const std::string& v, std::string& error) {
         std::vector<std::pair<std::string, Filtro>> lista;
         for (const FiltroDescrito& f : TablaFiltros())
           if (f.palabraLote != nullptr) lista.emplace_back(f.palabraLote, f.filtro);
         return Elegir<Filtro>(op, v, lista, o.receta.filtro, error);
       }},
      {restauracion, "--tamano", "", "3|5",
       Envolver("Tamaño del Filtro: 3 X 3 o 5 X 5 (por omisión 3; " +
                NoCon(&FiltroDescrito::tomaTamano) + ")"),
       [](OpcionesLote& o, const std::string& op, const std::string& v, std::string& error) {
         return Elegir<Ventana>(op, v, {{"3", Ventana::De3x3}, {"5", Ventana::De5x5}},
                                o.receta.ventana, error);
       }},
      {restauracion, "--incluir-danados", "", "",
       Envolver("Incluir vecinos dañados (" + NoCon(&FiltroDescrito::tomaIncluirDanados) + ")"),
       [](OpcionesLote& o, const std::string&, const std::string&, std::string&) {
         o.receta.incluirDanados = true;
         return true;
       }},
      {restauracion, "--pasos", "", "negros,blancos,...",
       "detecciones, cada una seguida de Restaurar\n"
       "(por omisión negros,blancos)",
       [](OpcionesLote& o, const std::string& op, const std::string& v, std::string& error) {
         o.receta.pasos.clear();
         for (const std::string& paso : Partir(v, ',')) {
           Deteccion d;
           if (!Elegir<Deteccion>(op, paso,
                                  {{"negros", Deteccion::Negros}, {"blancos", Deteccion::Blancos}},
                                  d, error)) {
             error = Incorrecto(op, v, "una lista de negros y blancos separados por comas");
             return false;
           }
           o.receta.pasos.push_back(d);
         }
         return true;
       }},
      {restauracion, "--automatica", "", "",
       "Restauración Automática en lugar de la receta:\n"
       "encuentra y restaura sola los puntos dañados,\n"
       "sin matriz, umbral ni detección (no con las\n"
       "opciones de la matriz ni de la restauración)",
       [](OpcionesLote& o, const std::string&, const std::string&, std::string&) {
         o.receta.automatica = true;
         return true;
       }},
      {ejecucion, "--trabajos", "-j", "N",
       "imágenes a la vez (por omisión, una por\n"
       "procesador; se reduce si no caben en la memoria\n"
       "que el proceso puede usar)",
       [](OpcionesLote& o, const std::string& op, const std::string& v, std::string& error) {
         return Entero(op, v, 1, INT32_MAX, "un entero mayor que 0", o.trabajos, error);
       }},
      {ejecucion, "--informe", "", "ARCHIVO.csv",
       "una fila por imagen y paso: puntos sobre el\n"
       "umbral, puntos restaurados, tiempo y receta; al\n"
       "repetir la orden se conservan las filas de los\n"
       "resultados que se omiten (con --automatica, una\n"
       "fila por imagen, con los puntos dañados que\n"
       "encontró como puntos sobre el umbral)",
       Texto(&OpcionesLote::informe, false)},
      {ejecucion, "--silencioso", "-q", "", "sin barra de progreso ni líneas de avance",
       Marcar(&OpcionesLote::silencioso)},
      {ejecucion, "--ayuda", "-h", "", "muestra esta ayuda", Marcar(&OpcionesLote::ayuda)},
      {ejecucion, "--version", "", "", "muestra la versión", Marcar(&OpcionesLote::version)},
  };
}

const Opcion* Buscar(const std::string& nombre) {
  if (nombre == "--help") return Buscar("--ayuda");
  for (const Opcion& op : TablaOpciones())
    if (op.nombre == nombre || (!op.corta.empty() && op.corta == nombre)) return &op;
  return nullptr;
}

bool Dada(const OpcionesLote& o, const std::string& nombre) {
  return std::find(o.dadas.begin(), o.dadas.end(), nombre) != o.dadas.end();
}

// One argument that starts with '-': "--opcion", "--opcion valor",
// "--opcion=valor", "-x", "-x valor" or "-xvalor". Moves i past a separate value.
bool AnalizarUna(OpcionesLote& o, const std::vector<std::string>& args, std::size_t& i,
                 std::string& error) {
  const std::string& a = args[i];
  std::string nombre = a;
  std::optional<std::string> valor;
  if (a.rfind("--", 0) == 0) {
    if (const auto igual = a.find('='); igual != std::string::npos) {
      nombre = a.substr(0, igual);
      valor = a.substr(igual + 1);
    }
  } else if (a.size() > 2) {
    nombre = a.substr(0, 2);
    valor = a.substr(2);
  }
  const Opcion* op = Buscar(nombre);
  if (op == nullptr || (op->valor.empty() && valor)) {
    error = "Opción desconocida: " + (op == nullptr ? nombre : a);
    return false;
  }
  if (!op->valor.empty() && !valor) {
    if (i + 1 >= args.size()) {
      error = "Falta el valor de " + nombre;
      return false;
    }
    valor = args[++i];
  }
  o.dadas.push_back(op->nombre);
  return op->aplicar(o, nombre, valor.value_or(""), error);
}

// The custom matrix's cells, once its size is known.
bool AnalizarCeldas(OpcionesLote& o, std::string& error) {
  const int n = o.receta.tamanoMatriz;
  const std::string admitidas = std::to_string(n) + " filas de " + std::to_string(n) +
                                " enteros, separados por ',' y las filas por ';'";
  if (!Dada(o, "--celdas")) {
    if (o.receta.tipo != TipoMatriz::Personalizada) return true;
    error = "Falta --celdas: la matriz personalizada necesita " + admitidas;
    return false;
  }
  if (o.receta.tipo != TipoMatriz::Personalizada) {
    error = "--celdas solo vale con --tipo personalizada";
    return false;
  }
  const std::vector<std::string> filas = Partir(o.celdasTexto, ';');
  if (filas.size() != static_cast<std::size_t>(n)) {
    error = Incorrecto("--celdas", o.celdasTexto, admitidas);
    return false;
  }
  for (const std::string& fila : filas) {
    std::vector<std::string> textos = Partir(fila, ',');
    if (textos.size() != static_cast<std::size_t>(n)) {
      error = Incorrecto("--celdas", o.celdasTexto, admitidas);
      return false;
    }
    for (const std::string& texto : textos) {
      if (!ParseInt32(texto)) {
        error = Incorrecto("--celdas", texto, admitidas);
        return false;
      }
    }
    o.receta.celdas.push_back(std::move(textos));
  }
  return true;
}

// The automatic restoration replaces the whole recipe: the recipe's options
// beside it are refused.
bool SinOpcionesDeReceta(const OpcionesLote& o, std::string& error) {
  if (!o.receta.automatica) return true;
  for (const char* opcion : {"--matriz", "--tipo", "--n", "--celdas", "--umbral", "--filtro",
                             "--tamano", "--incluir-danados", "--pasos"}) {
    if (Dada(o, opcion)) {
      error =
          std::string(opcion) + " no vale con --automatica, que no usa matriz, umbral ni filtro";
      return false;
    }
  }
  return true;
}

// Options the recipe would not use are refused rather than dropped.
bool SinOpcionesIgnoradas(const OpcionesLote& o, std::string& error) {
  if (Dada(o, "--n") && o.receta.tipo != TipoMatriz::Piramidal) {
    error = "--n solo vale con --tipo piramidal";
    return false;
  }
  const FiltroDescrito& filtro = DescripcionFiltro(o.receta.filtro);
  for (const auto& [opcion, toma] :
       {std::pair{"--tamano", &FiltroDescrito::tomaTamano},
        std::pair{"--incluir-danados", &FiltroDescrito::tomaIncluirDanados}}) {
    if (Dada(o, opcion) && !(filtro.*toma)) {
      error = std::string(opcion) + " no vale con --filtro " + filtro.palabraLote;
      return false;
    }
  }
  if (Dada(o, "--raiz") && o.salida.empty()) {
    error = "--raiz solo vale con -o (--salida)";
    return false;
  }
  return true;
}

}  // namespace

const std::vector<Opcion>& TablaOpciones() {
  static const std::vector<Opcion> tabla = CrearTabla();
  return tabla;
}

const std::vector<std::string>& FormatosAdmitidos() {
  static const std::vector<std::string> formatos = [] {
    std::vector<std::string> lista;
    for (const QString& e : writtenExtensions()) lista.push_back(e.toStdString());
    return lista;
  }();
  return formatos;
}

std::optional<OpcionesLote> AnalizarOpciones(const std::vector<std::string>& args,
                                             std::string& error) {
  OpcionesLote o;
  bool soloArchivos = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (soloArchivos || a == "-" || a.empty() || a[0] != '-') {
      o.archivos.push_back(a);
    } else if (a == "--") {
      soloArchivos = true;
    } else if (!AnalizarUna(o, args, i, error)) {
      return std::nullopt;
    }
  }
  if (o.ayuda || o.version) return o;
  if (!SinOpcionesDeReceta(o, error) || !AnalizarCeldas(o, error) ||
      !SinOpcionesIgnoradas(o, error))
    return std::nullopt;
  if (o.archivos.empty()) {
    error = "Falta ARCHIVO: indique las imágenes a restaurar, o - para leer sus nombres";
    return std::nullopt;
  }
  return o;
}

std::string TextoReceta(const OpcionesLote& o) {
  const Receta& r = o.receta;
  if (r.automatica) return "--automatica" + (o.formato.empty() ? "" : " --formato " + o.formato);
  const char* tipos[] = {"ceros", "piramidal", "personalizada"};
  const FiltroDescrito& filtro = DescripcionFiltro(r.filtro);
  std::string texto =
      "--matriz " + std::to_string(r.tamanoMatriz) + " --tipo " + tipos[static_cast<int>(r.tipo)];
  if (r.tipo == TipoMatriz::Piramidal) texto += " --n " + std::to_string(r.factorN);
  if (r.tipo == TipoMatriz::Personalizada) texto += " --celdas " + o.celdasTexto;
  texto += " --umbral " + std::to_string(r.umbral) + " --filtro " + filtro.palabraLote;
  if (filtro.tomaTamano)
    texto += std::string(" --tamano ") + (r.ventana == Ventana::De5x5 ? "5" : "3");
  if (filtro.tomaIncluirDanados && r.incluirDanados) texto += " --incluir-danados";
  texto += " --pasos ";
  for (std::size_t i = 0; i < r.pasos.size(); ++i)
    texto += std::string(i ? "," : "") + (r.pasos[i] == Deteccion::Negros ? "negros" : "blancos");
  if (!o.formato.empty()) texto += " --formato " + o.formato;
  return texto;
}

std::string TextoAyuda() {
  std::string texto = R"(Uso: morvane-lote [opciones] [--] ARCHIVO...
       morvane-lote [opciones] -      (lee los nombres de la entrada, uno por línea)

Restaura un archivo de imágenes con la misma receta que la ventana de Morvane:
para cada imagen, Cargar Matriz, y por cada paso Puntos Negros o Puntos Blancos
seguido de Restaurar, con "<<" entre un paso y el siguiente; después guarda la
imagen final. Los niveles son exactamente los que guardaría la ventana.
Con --automatica, cada imagen pasa en cambio por la Restauración Automática,
sin matriz, umbral ni detección.
Una imagen cuyo nombre acaba en "_restaurada" es un resultado y no se vuelve a
restaurar; al repetir la misma orden solo se hacen los resultados que faltan.
)";
  std::string grupo;
  for (const Opcion& op : TablaOpciones()) {
    if (op.grupo != grupo) texto += "\n" + (grupo = op.grupo) + "\n";
    std::string cabeza = "  " + (op.corta.empty() ? "" : op.corta + ", ") + op.nombre +
                         (op.valor.empty() ? "" : " " + op.valor);
    constexpr std::size_t kColumna = 26;
    const std::string sangria(kColumna, ' ');
    // Counted in characters, not bytes: accents take two.
    std::size_t ancho = 0;
    for (unsigned char ch : cabeza) ancho += (ch & 0xC0) != 0x80;
    cabeza += ancho + 2 <= kColumna ? std::string(kColumna - ancho, ' ') : "\n" + sangria;
    std::string ayuda = op.ayuda;
    for (std::size_t p = ayuda.find('\n'); p != std::string::npos; p = ayuda.find('\n', p + 1))
      ayuda.insert(p + 1, sangria);
    texto += cabeza + ayuda + "\n";
  }
  texto += R"(
Los nombres que empiezan por '-' van detrás de "--", que termina las opciones:
  morvane-lote -o restauradas -- -negativo.bmp

Estado de salida: 0 si todas las imágenes se restauraron (o ya lo estaban),
1 si alguna falló, 2 si una opción es incorrecta o el informe no se puede
escribir, 130 si se interrumpió con Ctrl-C y 143 si con kill (SIGTERM).
)";
  return texto;
}

std::string TextoVersion() {
  return std::string("morvane-lote ") + MORVANE_VERSION + "\n";
}

}  // namespace morvane
