#include "batch/options.h"

#include <algorithm>
#include <cctype>
#include <functional>
#include <map>

#include "text/int_text.h"
#include "toolkit/formats.h"

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

}  // namespace

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
  std::string celdas;
  bool hayCeldas = false;

  using Accion = std::function<bool(const std::string& opcion, const std::string& valor)>;
  const std::map<std::string, Accion> conValor{
      {"--salida",
       [&](const std::string&, const std::string& v) {
         o.salida = v;
         return true;
       }},
      {"--matriz",
       [&](const std::string& op, const std::string& v) {
         return Elegir<int>(op, v, {{"3", 3}, {"5", 5}, {"7", 7}, {"9", 9}}, o.receta.tamanoMatriz,
                            error);
       }},
      {"--tipo",
       [&](const std::string& op, const std::string& v) {
         return Elegir<TipoMatriz>(op, v,
                                   {{"ceros", TipoMatriz::Ceros},
                                    {"piramidal", TipoMatriz::Piramidal},
                                    {"personalizada", TipoMatriz::Personalizada}},
                                   o.receta.tipo, error);
       }},
      {"--n",
       [&](const std::string& op, const std::string& v) {
         const auto n = ParseInt32(v);
         if (!n) error = Incorrecto(op, v, "un entero entre -2147483648 y 2147483647");
         if (n) o.receta.factorN = *n;
         return n.has_value();
       }},
      {"--celdas",
       [&](const std::string&, const std::string& v) {
         celdas = v;
         hayCeldas = true;
         return true;
       }},
      {"--umbral",
       [&](const std::string& op, const std::string& v) {
         const auto n = ParseInt32(v);
         if (!n || *n > 255) {
           error = Incorrecto(op, v, "un entero no mayor de 255");
           return false;
         }
         o.receta.umbral = *n;
         return true;
       }},
      {"--filtro",
       [&](const std::string& op, const std::string& v) {
         return Elegir<Filtro>(op, v,
                               {{"media", Filtro::Media},
                                {"mediana", Filtro::Mediana},
                                {"conservativo", Filtro::Conservativo},
                                {"cubico", Filtro::Cubico}},
                               o.receta.filtro, error);
       }},
      {"--tamano",
       [&](const std::string& op, const std::string& v) {
         return Elegir<Ventana>(op, v, {{"3", Ventana::De3x3}, {"5", Ventana::De5x5}},
                                o.receta.ventana, error);
       }},
      {"--pasos",
       [&](const std::string& op, const std::string& v) {
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
      {"--formato",
       [&](const std::string& op, const std::string& v) {
         std::vector<std::pair<std::string, std::string>> lista;
         for (const std::string& f : FormatosAdmitidos()) lista.emplace_back(f, f);
         std::string valor = v;
         if (!valor.empty() && valor[0] == '.') valor.erase(0, 1);
         return Elegir<std::string>(op, valor, lista, o.formato, error);
       }},
      {"--trabajos",
       [&](const std::string& op, const std::string& v) {
         const auto n = ParseInt32(v);
         if (!n || *n < 1) {
           error = Incorrecto(op, v, "un entero mayor que 0");
           return false;
         }
         o.trabajos = *n;
         return true;
       }},
      {"--informe",
       [&](const std::string& op, const std::string& v) {
         if (v.empty()) error = Incorrecto(op, v, "el nombre de un fichero");
         o.informe = v;
         return !v.empty();
       }},
  };
  const std::map<std::string, std::string> cortas{{"-o", "--salida"}, {"-j", "--trabajos"}};

  bool soloArchivos = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (soloArchivos || a == "-" || a.empty() || a[0] != '-') {
      o.archivos.push_back(a);
      continue;
    }
    if (a == "--") {
      soloArchivos = true;
      continue;
    }
    if (a == "-h" || a == "--ayuda" || a == "--help") {
      o.ayuda = true;
      continue;
    }
    if (a == "-q" || a == "--silencioso") {
      o.silencioso = true;
      continue;
    }
    if (a == "--incluir-danados") {
      o.receta.incluirDanados = true;
      continue;
    }
    if (a == "--sobrescribir") {
      o.sobrescribir = true;
      continue;
    }
    // An option with a value: "--opcion valor", "--opcion=valor", "-o valor" or "-ovalor".
    std::string nombre = a;
    std::optional<std::string> valor;
    if (a.rfind("--", 0) == 0) {
      const auto igual = a.find('=');
      if (igual != std::string::npos) {
        nombre = a.substr(0, igual);
        valor = a.substr(igual + 1);
      }
    } else {
      nombre = a.substr(0, 2);
      if (a.size() > 2) valor = a.substr(2);
    }
    const std::string mostrado = nombre;
    if (const auto corta = cortas.find(nombre); corta != cortas.end()) nombre = corta->second;
    const auto accion = conValor.find(nombre);
    if (accion == conValor.end()) {
      error = "Opción desconocida: " + mostrado;
      return std::nullopt;
    }
    if (!valor) {
      if (i + 1 >= args.size()) {
        error = "Falta el valor de " + mostrado;
        return std::nullopt;
      }
      valor = args[++i];
    }
    if (!accion->second(mostrado, *valor)) return std::nullopt;
  }
  if (o.ayuda) return o;

  const int n = o.receta.tamanoMatriz;
  const std::string admitidasCeldas = std::to_string(n) + " filas de " + std::to_string(n) +
                                      " enteros, separados por ',' y las filas por ';'";
  if (hayCeldas) {
    if (o.receta.tipo != TipoMatriz::Personalizada) {
      error = "--celdas solo vale con --tipo personalizada";
      return std::nullopt;
    }
    const std::vector<std::string> filas = Partir(celdas, ';');
    if (filas.size() != static_cast<std::size_t>(n)) {
      error = Incorrecto("--celdas", celdas, admitidasCeldas);
      return std::nullopt;
    }
    for (const std::string& fila : filas) {
      std::vector<std::string> textos = Partir(fila, ',');
      if (textos.size() != static_cast<std::size_t>(n)) {
        error = Incorrecto("--celdas", celdas, admitidasCeldas);
        return std::nullopt;
      }
      for (const std::string& texto : textos) {
        if (!ParseInt32(texto)) {
          error = Incorrecto("--celdas", texto, admitidasCeldas);
          return std::nullopt;
        }
      }
      o.receta.celdas.push_back(std::move(textos));
    }
  } else if (o.receta.tipo == TipoMatriz::Personalizada) {
    error = "Falta --celdas: la matriz personalizada necesita " + admitidasCeldas;
    return std::nullopt;
  }
  if (o.archivos.empty()) {
    error = "Falta ARCHIVO: indique las imágenes a restaurar, o - para leer sus nombres";
    return std::nullopt;
  }
  return o;
}

const char* TextoAyuda() {
  return R"(Uso: morvane-lote [opciones] ARCHIVO...
       morvane-lote [opciones] -      (lee los nombres de la entrada, uno por línea)

Restaura un archivo de imágenes con la misma receta que la ventana de Morvane:
para cada imagen, Cargar Matriz, y por cada paso Puntos Negros o Puntos Blancos
seguido de Restaurar, con "<<" entre un paso y el siguiente; después guarda la
imagen final. Los niveles son exactamente los que guardaría la ventana.

Imágenes
  -o, --salida DIR        carpeta de los resultados (por omisión, junto a cada
                          imagen, con el nombre terminado en "_restaurada")
  --formato bmp|png|tif|jpg|pgm|webp|...
                          formato de los resultados (por omisión, el de la imagen)
  --sobrescribir          escribe sobre los resultados que ya existen (nunca
                          sobre una imagen de entrada)

Matriz de detección
  --matriz 3|5|7|9        Tamaño Matriz (por omisión 3)
  --tipo ceros|piramidal|personalizada
                          Tipo Matriz: 0's, Piramidal o Personalizada (por omisión ceros)
  --n ENTERO              valor que multiplica los coeficientes de la matriz
                          piramidal (por omisión 0)
  --celdas "a,b,c;d,e,f;g,h,i"
                          matriz personalizada: las filas separadas por ';'

Restauracion
  --umbral ENTERO         umbral de diferenciación entre puntos dañados y no
                          dañados, no mayor de 255 (por omisión 50)
  --filtro media|mediana|conservativo|cubico
                          Filtro de Media, de Mediana, Conservativo o Paso Bajo
                          por Interpolacion Cubica (por omisión media)
  --tamano 3|5            Tamaño del Filtro: 3 X 3 o 5 X 5 (por omisión 3)
  --incluir-danados       Incluir vecinos dañados
  --pasos negros,blancos,...
                          detecciones, cada una seguida de Restaurar (por
                          omisión negros,blancos)

Ejecución
  -j, --trabajos N        imágenes a la vez (por omisión, una por procesador;
                          se reduce si no caben en la memoria disponible)
  --informe ARCHIVO.csv   una fila por imagen y paso: puntos sobre el umbral,
                          puntos restaurados y tiempo
  -q, --silencioso        sin barra de progreso ni líneas de avance
  -h, --ayuda             muestra esta ayuda

Estado de salida: 0 si todas las imágenes se restauraron (o ya lo estaban),
1 si alguna falló, 2 si una opción es incorrecta.
)";
}

}  // namespace morvane
