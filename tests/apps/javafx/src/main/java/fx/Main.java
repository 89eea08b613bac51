package fx;

import javafx.animation.PauseTransition;
import javafx.application.Application;
import javafx.application.Platform;
import javafx.scene.Scene;
import javafx.scene.control.Label;
import javafx.scene.layout.StackPane;
import javafx.scene.paint.Color;
import javafx.stage.Stage;
import javafx.stage.StageStyle;
import javafx.util.Duration;

// An undecorated window at (0, 0), 200 x 150, filled with #2080E0 behind a label; it closes
// itself after two seconds.
public final class Main {
  public static final class Window extends Application {
    @Override
    public void start(Stage stage) {
      Label label = new Label("plumbox");
      StackPane root = new StackPane(label);
      root.setStyle("-fx-background-color: #2080E0;");
      stage.initStyle(StageStyle.UNDECORATED);
      stage.setX(0);
      stage.setY(0);
      stage.setScene(new Scene(root, 200, 150, Color.web("#2080E0")));
      stage.setOnShown(e -> System.out.println("shown: " + label.getText()));
      stage.show();
      PauseTransition wait = new PauseTransition(Duration.seconds(2));
      wait.setOnFinished(e -> {
        System.out.println("closing");
        Platform.exit();
      });
      wait.play();
    }

    @Override
    public void stop() {
      System.out.println("stopped");
    }
  }

  public static void main(String[] args) {
    System.setProperty("prism.order", "sw");
    Application.launch(Window.class, args);
  }
}
