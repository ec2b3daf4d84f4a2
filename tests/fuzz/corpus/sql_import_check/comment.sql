-- only
SELECT 1; /* open