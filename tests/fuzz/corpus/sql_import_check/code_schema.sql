-- Tables of the IR code database. Column positions matter: the program reads several tables
-- with "Select *" and addresses cells by position.
CREATE TABLE M_DeviceTypes(
    DeviceTypeID INTEGER PRIMARY KEY,
    DeviceTypeName TEXT NOT NULL          -- position 1: shown in the device-type list
);
CREATE TABLE M_SetOfCodes(
    SetOfCodeID INTEGER PRIMARY KEY,
    SourceID INTEGER NOT NULL,            -- links to M_CodeLink
    DeviceName TEXT COLLATE NOCASE,
    BrandName TEXT,
    ModelName TEXT,
    CodeDate TEXT,                        -- ISO date, so text order is date order
    IsValid INTEGER NOT NULL DEFAULT 1,
    Source TEXT                           -- "MFY": the remote's default key order applies
);
CREATE TABLE M_RCUInfo(
    RCUInfoID INTEGER PRIMARY KEY,
    ModelNameID INTEGER NOT NULL,
    ModelName TEXT,
    KeyOrder TEXT                         -- position 3: the remote's key numbers, comma-separated
);
CREATE TABLE M_RCUFuncKey(
    RCUFuncKeyID INTEGER PRIMARY KEY,
    ModelNameID INTEGER NOT NULL,
    RCUModelID INTEGER NOT NULL,          -- key number in the remote's own numbering
    RCUKeyMapID INTEGER NOT NULL,         -- key-map number of the function on that key
    KeyName TEXT
);
CREATE TABLE M_CodeLink(
    CodeLinkID INTEGER PRIMARY KEY,
    SourceID INTEGER NOT NULL,            -- position 1
    KeyMapID INTEGER NOT NULL,            -- position 2
    Protocol1 TEXT,                       -- position 3
    Protocol2 TEXT,                       -- position 4
    FunctionName TEXT,                    -- position 5
    CodeData TEXT                         -- position 6: hexadecimal text
);
CREATE TABLE M_Protocol(
    ProtocolID INTEGER PRIMARY KEY,
    ProtocolName TEXT NOT NULL COLLATE NOCASE, -- NOCASE lets "ProtocolName like ..." use the index
    ProtocolData TEXT                     -- position 2: hexadecimal text
);
CREATE INDEX IX_CodeLink_SourceID ON M_CodeLink(SourceID);
-- The code search lists the newest 300 valid code sets: a newest-first walk of this index stops
-- after 300 matches and, since it holds every column the search reads, never visits the table.
CREATE INDEX IX_SetOfCodes_Search ON M_SetOfCodes(CodeDate, DeviceName, IsValid, BrandName, ModelName, SourceID);
CREATE INDEX IX_SetOfCodes_SourceID ON M_SetOfCodes(SourceID);
CREATE INDEX IX_Protocol_Name ON M_Protocol(ProtocolName COLLATE NOCASE);
