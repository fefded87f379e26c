 select a, b from t -- comment
where x = 'it''s' /* multi
line */ and [id] = 0x1F
