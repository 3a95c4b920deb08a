#include "StatusText.h"

const char *statusText(uint32_t status)
{
    switch (status) {
    case StatusOk:
        return "Succès";
    case StatusInvalidArgument:
        return "Argument invalide";
    case StatusGameNotFound:
        return "Jeu introuvable";
    case StatusUnknownSession:
        return "Session inconnue ou fermée";
    case StatusUnknownSnapshot:
        return "Capture inconnue ou libérée";
    case StatusCopyFailed:
        return "Échec de la copie";
    case StatusSessionLost:
        return "Session perdue : le jeu s'est arrêté";
    case StatusBufferTooSmall:
        return "Tampon trop petit";
    case StatusNotAvailable:
        return "Données non disponibles";
    case StatusUnknownTrain:
        return "Train inconnu dans cette capture";
    case StatusNoPath:
        return "Aucun itinéraire calculé pour ce train";
    case StatusGameBusy:
        return "Jeu occupé : aucun état cohérent lu, réessayer";
    case StatusUnreadableData:
        return "Données du jeu illisibles";
    case StatusUnsupportedMode:
        return "Mode d'ouverture non pris en charge";
    case StatusOutOfMemory:
        return "Mémoire insuffisante";
    default:
        return "Statut inconnu";
    }
}
