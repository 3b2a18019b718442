// unit
