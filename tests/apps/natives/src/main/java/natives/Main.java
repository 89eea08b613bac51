package natives;

import com.sun.jna.Library;
import com.sun.jna.Native;
import java.nio.file.Files;
import java.nio.file.Path;
import java.sql.Connection;
import java.sql.DriverManager;
import java.sql.ResultSet;
import java.sql.Statement;
import java.util.Comparator;
import java.util.stream.Stream;

public final class Main {
  public interface C extends Library {
    C INSTANCE = Native.load("c", C.class);

    int strlen(String s);

    int abs(int n);
  }

  public static void main(String[] args) throws Exception {
    Path dir = Files.createTempDirectory("natives");
    try {
      String url = "jdbc:sqlite:" + dir.resolve("test.db");
      try (Connection c = DriverManager.getConnection(url); Statement s = c.createStatement()) {
        s.executeUpdate("CREATE TABLE t (k TEXT PRIMARY KEY, v INTEGER)");
        s.executeUpdate("INSERT INTO t VALUES ('one', 1), ('two', 2), ('three', 3)");
        try (ResultSet rs = s.executeQuery("SELECT k, v * 10 FROM t ORDER BY v DESC")) {
          while (rs.next()) System.out.println("sqlite: " + rs.getString(1) + " " + rs.getInt(2));
        }
        try (ResultSet rs = s.executeQuery("SELECT sqlite_version() IS NOT NULL")) {
          System.out.println("sqlite version known: " + (rs.next() && rs.getInt(1) == 1));
        }
      }
      System.out.println("database file exists: " + Files.isRegularFile(dir.resolve("test.db")));
      System.out.println("jna: strlen = " + C.INSTANCE.strlen("plumbox") + ", abs = " + C.INSTANCE.abs(-42));
    } finally {
      try (Stream<Path> files = Files.walk(dir)) {
        files.sorted(Comparator.reverseOrder()).forEach(p -> p.toFile().delete());
      }
    }
  }
}
