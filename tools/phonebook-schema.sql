-- An empty phone book: the one table the program reads and writes.
CREATE TABLE numara (
    id      INTEGER PRIMARY KEY AUTOINCREMENT,
    adsoyad VARCHAR(255) CHECK (length(adsoyad) <= 255),
    telefon VARCHAR(255) CHECK (length(telefon) <= 255),
    gsm     VARCHAR(255) CHECK (length(gsm) <= 255),
    grup    VARCHAR(255) CHECK (length(grup) <= 255)
);
